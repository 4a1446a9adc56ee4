#pragma once
// Helpers shared by the Qt-free tests: a temporary data folder, whole-file reads and writes,
// and a file system that fails a chosen call.

#include <gtest/gtest.h>

#include "Bytes.h"
#include "FaultyFileSystem.h"
#include "TempDir.h"

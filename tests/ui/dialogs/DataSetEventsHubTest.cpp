// The one path of data-set changes: every listener hears every change in the order it
// started listening, for as long as its owner lives, and one that fails keeps none of the
// others from hearing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <memory>
#include <stdexcept>

#include "ui/dialogs/DataSetEvents.h"

namespace quil::ui {
namespace {

using store::DataSetChange;
using What = DataSetChange::What;

TEST(DataSetEventsHub, ListenersHearInOrderUntilTheirOwnerGoesAndAFailureComesLast) {
    std::vector<std::string> heard;
    QObject first;
    auto second = std::make_unique<QObject>();
    QObject third;
    DataSetEvents::listen(&first, [&](const DataSetChange& c) {
        heard.push_back("first " + std::to_string(int(c.what)));
        if (c.what == What::ItemsChanged) throw std::runtime_error("一覧を読めません");
    });
    DataSetEvents::listen(second.get(), [&](const DataSetChange&) { heard.push_back("second"); });
    DataSetEvents::listen(&third, [&](const DataSetChange&) { heard.push_back("third"); });

    DataSetEvents::announce(DataSetChange::of(What::RecordsChanged));
    EXPECT_EQ(heard, (std::vector<std::string>{"first 2", "second", "third"}));

    heard.clear();
    second.reset();
    try {
        DataSetEvents::announce(DataSetChange::itemsChanged(store::ItemKind::User));
        ADD_FAILURE() << "the failure is not passed on";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "一覧を読めません");
    }
    EXPECT_EQ(heard, (std::vector<std::string>{"first 3", "third"}))
        << "the third hears although the first failed; the gone second hears nothing";
}

// A window that reads again does so once, after the events of the moment, and only while
// it is open; changes it does not show leave it alone.
TEST(DataSetEventsHub, AWindowReadsAgainOnceWhileOpen) {
    QWidget window;
    int reads = 0;
    DataSetEvents::refreshWhileOpen(
        &window, [&] { ++reads; },
        [](const DataSetChange& c) { return c.what != What::ExtensionChanged; });
    DataSetEvents::announce(DataSetChange::of(What::RecordsChanged));
    QApplication::processEvents();
    EXPECT_EQ(reads, 0) << "closed";

    window.show();
    DataSetEvents::announce(DataSetChange::of(What::RecordsChanged));
    DataSetEvents::announceReplaced();
    EXPECT_EQ(reads, 0) << "not while the command still runs";
    QApplication::processEvents();
    EXPECT_EQ(reads, 1);
    DataSetEvents::announce(DataSetChange::extensionChanged(store::ExtensionPart::Detectors));
    QApplication::processEvents();
    EXPECT_EQ(reads, 1);
}

}  // namespace
}  // namespace quil::ui

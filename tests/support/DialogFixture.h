#pragma once
// What the dialog suites share, over a folder or a server alike: the stand-in main window,
// scripted message boxes, a clock at 2024-05-10 09:15, the checks of the boxes shown, and
// the master list editor linked to its vehicle dialog as the program links them.

#include <gtest/gtest.h>

#include <QListWidget>
#include <QString>
#include <QStringList>
#include <memory>

#include "StandInMain.h"
#include "store/Date.h"
#include "ui/dialogs/Prompts.h"
#include "ui/dialogs/TCarform.h"
#include "ui/dialogs/TItemForm.h"

namespace quil::testing {

class DialogFixture : public ::testing::Test {
protected:
    StandInMain main;
    ui::ScriptedPrompts prompts;

    void SetUp() override {
        store::setClockForTesting(
            [] { return store::encodeDate(2024, 5, 10) + store::encodeTime(9, 15); });
    }
    void TearDown() override { store::setClockForTesting({}); }

    static QString u(const char* s) { return QString::fromUtf8(s); }
    static QStringList entries(const QListWidget* list) {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text();
        return texts;
    }
    // The last box must be the "警告" warning with this text.
    void expectWarning(const char* text) {
        ASSERT_FALSE(prompts.boxes().empty());
        EXPECT_EQ(prompts.last().title, QStringLiteral("警告"));
        EXPECT_EQ(prompts.last().text, u(text));
        EXPECT_EQ(prompts.last().icon, ui::PromptIcon::Warning);
    }
};

// `Fixture` with the master list editor and its vehicle dialog, made in SetUp.
template <typename Fixture>
class WithItemEditor : public Fixture {
protected:
    std::unique_ptr<ui::TItemForm> editor;
    std::unique_ptr<ui::TCarform> carform;

    void SetUp() override {
        Fixture::SetUp();
        editor = std::make_unique<ui::TItemForm>(this->main, &this->main.window);
        carform = std::make_unique<ui::TCarform>(this->main, &this->main.window);
        editor->setCarform(carform.get());
        carform->setItemForm(editor.get());
    }
    // Opens the editor on the list named `kindName` ("車両", "使用目的" …).
    void open(const char* kindName) {
        editor->setWindowTitle(this->u("設定－") + this->u(kindName));
        editor->show();
    }
    void select(int row) { editor->ListBox1()->setCurrentRow(row); }
};

}  // namespace quil::testing

#pragma once
// The application object: its name, Japanese for Qt's own texts, and the one place where an
// exception that ends a command is reported to the user before the program goes on.

#include <QApplication>

namespace quil::ui {

class QuilApplication : public QApplication {
    Q_OBJECT
public:
    QuilApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the report of an exception that ended a command.
    static void reportException(const std::exception& e);
    // True when a font that can draw Japanese is installed.
    static bool hasJapaneseFont();
    // Says once, after the window is up, that no Japanese font is installed (every text
    // would show as boxes); nothing is refused.
    static void warnWithoutJapaneseFont(QWidget* window);

private:
    void useJapanese();
};

}  // namespace quil::ui

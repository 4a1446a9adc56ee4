#include "ui/dialogs/Prompts.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>

#include "ui/components/Cp932LimitValidator.h"

namespace quil::ui {
namespace {

Prompts* g_current = nullptr;

QMessageBox::Icon qtIcon(PromptIcon icon) {
    switch (icon) {
        case PromptIcon::Information: return QMessageBox::Information;
        case PromptIcon::Warning:
        case PromptIcon::Exclamation: return QMessageBox::Warning;
        case PromptIcon::Question: return QMessageBox::Question;
        case PromptIcon::Error: return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void Prompts::warning(QWidget* parent, const QString& text) {
    message(parent, QStringLiteral("警告"), text, PromptIcon::Warning);
}

void Prompts::notice(QWidget* parent, const QString& text) {
    message(parent, QStringLiteral("お知らせ"), text, PromptIcon::Information);
}

Prompts& Prompts::current() {
    static QtPrompts qt;
    return g_current ? *g_current : qt;
}

void Prompts::setCurrent(Prompts* prompts) { g_current = prompts; }

void QtPrompts::message(QWidget* parent, const QString& title, const QString& text,
                        PromptIcon icon) {
    QMessageBox box(qtIcon(icon), title, text, QMessageBox::Ok, parent);
    box.exec();
}

bool QtPrompts::question(QWidget* parent, const QString& title, const QString& text,
                         PromptIcon icon) {
    QMessageBox box(qtIcon(icon), title, text, QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
}

bool QtPrompts::questionDefaultNo(QWidget* parent, const QString& title, const QString& text,
                                  PromptIcon icon) {
    QMessageBox box(qtIcon(icon), title, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtPrompts::inputText(QWidget* parent, const QString& title,
                                            const QString& prompt, const QString& text,
                                            int maxBytes) {
    QInputDialog box(parent);
    box.setWindowTitle(title);
    box.setLabelText(prompt);
    box.setInputMode(QInputDialog::TextInput);
    box.setTextValue(text);
    if (maxBytes > 0)
        if (auto* edit = box.findChild<QLineEdit*>())
            edit->setValidator(new Cp932LimitValidator(std::size_t(maxBytes), edit));
    if (box.exec() != QDialog::Accepted) return std::nullopt;
    return box.textValue();
}

ScriptedPrompts::Box ScriptedPrompts::last() const {
    return boxes_.empty() ? Box{Kind::Message, {}, {}, PromptIcon::Information} : boxes_.back();
}

void ScriptedPrompts::message(QWidget*, const QString& title, const QString& text,
                              PromptIcon icon) {
    boxes_.push_back({Kind::Message, title, text, icon});
}

bool ScriptedPrompts::question(QWidget*, const QString& title, const QString& text,
                               PromptIcon icon) {
    boxes_.push_back({Kind::Question, title, text, icon});
    if (questions_.empty()) return false;
    bool yes = questions_.front();
    questions_.pop_front();
    return yes;
}

bool ScriptedPrompts::questionDefaultNo(QWidget* parent, const QString& title, const QString& text,
                                        PromptIcon icon) {
    const bool yes = question(parent, title, text, icon);
    boxes_.back().defaultNo = true;
    return yes;
}

std::optional<QString> ScriptedPrompts::inputText(QWidget*, const QString& title,
                                                  const QString& prompt, const QString&,
                                                  int maxBytes) {
    boxes_.push_back({Kind::Input, title, prompt, PromptIcon::Question});
    inputLimits_.push_back(maxBytes);
    if (inputs_.empty()) return std::nullopt;
    const Answer answer = inputs_.front();
    inputs_.pop_front();
    if (!answer.given) return std::nullopt;
    return answer.text;
}

}  // namespace quil::ui

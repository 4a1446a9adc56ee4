#pragma once
// Every message box, confirmation and one-line input box of the program goes through
// Prompts. The program shows real Qt boxes; tests install ScriptedPrompts, which records
// each box and answers as told, so no test ever waits on a modal box.

#include <QString>
#include <deque>
#include <optional>
#include <vector>

class QWidget;

namespace quil::ui {

enum class PromptIcon { Information, Warning, Exclamation, Question, Error };

class Prompts {
public:
    virtual ~Prompts() = default;
    // A box with an OK button.
    virtual void message(QWidget* parent, const QString& title, const QString& text,
                         PromptIcon icon) = 0;
    // A box with Yes and No buttons; true for Yes.
    virtual bool question(QWidget* parent, const QString& title, const QString& text,
                          PromptIcon icon) = 0;
    // The same box with No as the default button, for a question whose Yes destroys data.
    virtual bool questionDefaultNo(QWidget* parent, const QString& title, const QString& text,
                                   PromptIcon icon) {
        return question(parent, title, text, icon);
    }
    // A one-line input box; nullopt when cancelled. A `maxBytes` above 0 refuses typing or
    // pasting beyond that many CP932 bytes (what the record's text field holds).
    virtual std::optional<QString> inputText(QWidget* parent, const QString& title,
                                             const QString& prompt, const QString& text,
                                             int maxBytes = 0) = 0;

    // Shorthands for the program's two common boxes.
    void warning(QWidget* parent, const QString& text);  // "警告", warning icon
    void notice(QWidget* parent, const QString& text);   // "お知らせ", information icon

    static Prompts& current();
    // Installs `prompts` (not owned); nullptr restores the Qt boxes.
    static void setCurrent(Prompts* prompts);
};

// The Qt message boxes.
class QtPrompts : public Prompts {
public:
    void message(QWidget* parent, const QString& title, const QString& text,
                 PromptIcon icon) override;
    bool question(QWidget* parent, const QString& title, const QString& text,
                  PromptIcon icon) override;
    bool questionDefaultNo(QWidget* parent, const QString& title, const QString& text,
                           PromptIcon icon) override;
    std::optional<QString> inputText(QWidget* parent, const QString& title, const QString& prompt,
                                     const QString& text, int maxBytes) override;
};

// Records every box and answers from queues; installs itself for its lifetime.
class ScriptedPrompts : public Prompts {
public:
    enum class Kind { Message, Question, Input };
    struct Box {
        Kind kind;
        QString title;
        QString text;
        PromptIcon icon;
        bool defaultNo = false;  // a question whose default button is No
    };

    ScriptedPrompts() { setCurrent(this); }
    ~ScriptedPrompts() override { setCurrent(nullptr); }

    // Answers for the next questions (default No) and input boxes (default cancelled).
    void answerQuestion(bool yes) { questions_.push_back(yes); }
    void answerInput(std::optional<QString> text) {
        inputs_.push_back({text.has_value(), text.value_or(QString())});
    }

    const std::vector<Box>& boxes() const { return boxes_; }
    void clear() { boxes_.clear(); }
    // The last box, or an empty Box when none was shown.
    Box last() const;

    void message(QWidget* parent, const QString& title, const QString& text,
                 PromptIcon icon) override;
    bool question(QWidget* parent, const QString& title, const QString& text,
                  PromptIcon icon) override;
    bool questionDefaultNo(QWidget* parent, const QString& title, const QString& text,
                           PromptIcon icon) override;
    std::optional<QString> inputText(QWidget* parent, const QString& title, const QString& prompt,
                                     const QString& text, int maxBytes) override;
    // The byte limit of each input box shown, in order (0: none).
    const std::vector<int>& inputLimits() const { return inputLimits_; }

private:
    std::vector<Box> boxes_;
    std::vector<int> inputLimits_;
    std::deque<bool> questions_;
    struct Answer {
        bool given;
        QString text;
    };
    std::deque<Answer> inputs_;
};

}  // namespace quil::ui

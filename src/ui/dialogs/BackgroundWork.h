#pragma once
// Work that reads a data set, run on a thread of its own so that its window keeps answering.
// From one second on a progress box (「集計しています…」 with 「中止」) shows over the window;
// the result is applied on the window's thread when it comes, unless newer work was started
// meanwhile or the user cancelled: then it is dropped. The work opens its own access to the
// data set (`dataSetOpener`), never the window's connection.

#include <QObject>
#include <QPointer>
#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

class QProgressDialog;
class QThread;
class QTimer;
class QWidget;

namespace quil::ui {

class BackgroundWork : public QObject {
    Q_OBJECT
public:
    // What the thread hands back: run on the window's thread to show the result.
    using Apply = std::function<void()>;
    using Work = std::function<Apply()>;
    using Failed = std::function<void(const std::exception&)>;

    // `progress`: whether a progress box shows after a second (a status bar notice that
    // follows the data set quietly shows none).
    explicit BackgroundWork(QWidget* owner, QString caption = QStringLiteral("集計しています…"),
                            bool progress = true);
    // Waits for threads still reading (their results are dropped).
    ~BackgroundWork() override;

    // Starts `work` on a thread; whatever earlier work would bring is dropped. A failure goes
    // to `failed`, or else to the one error report over the window.
    void start(Work work, Failed failed = {});
    // Drops the result of the work under way; the thread ends by itself.
    void cancel();
    // Set to true on the application object, work runs at once on the calling thread (test
    // programs whose cases are not about the threads).
    static constexpr const char* kInlineProperty = "quilWorkInline";

    // Whether a result is still awaited.
    bool running() const { return awaited_ != 0; }
    // The progress box while shown (tests press its button).
    QProgressDialog* progressDialog() const;

Q_SIGNALS:
    // A result was applied or its failure reported.
    void finished();
    void cancelled();

private:
    struct Job;
    static void run(Job& job);
    void arrived(const std::shared_ptr<Job>& job, QThread* thread);
    void showProgress();
    void hideProgress();

    QPointer<QWidget> owner_;
    QString caption_;
    bool progress_ = true;
    unsigned awaited_ = 0;  // the number of the job whose result is wanted; 0 for none
    unsigned last_ = 0;
    std::vector<QThread*> threads_;
    QTimer* delay_ = nullptr;
    QPointer<QProgressDialog> dialog_;
};

}  // namespace quil::ui

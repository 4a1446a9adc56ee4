#include "ui/dialogs/BackgroundWork.h"

#include <QApplication>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <algorithm>

#include "ui/dialogs/ErrorReport.h"

namespace quil::ui {

struct BackgroundWork::Job {
    unsigned number = 0;
    Work work;
    Failed failed;
    Apply apply;
    std::exception_ptr error;
};

BackgroundWork::BackgroundWork(QWidget* owner, QString caption, bool progress)
    : QObject(owner), owner_(owner), caption_(std::move(caption)), progress_(progress) {
    delay_ = new QTimer(this);
    delay_->setSingleShot(true);
    delay_->setInterval(1000);
    connect(delay_, &QTimer::timeout, this, &BackgroundWork::showProgress);
}

BackgroundWork::~BackgroundWork() {
    awaited_ = 0;
    for (QThread* t : threads_) {
        t->disconnect(this);
        t->wait();
        delete t;
    }
}

void BackgroundWork::start(Work work, Failed failed) {
    auto job = std::make_shared<Job>();
    job->number = ++last_;
    job->work = std::move(work);
    job->failed = std::move(failed);
    awaited_ = job->number;
    if (qApp && qApp->property(kInlineProperty).toBool()) {
        run(*job);
        // As a command's own failure: through the caller to the application's one report.
        if (job->error && !job->failed) {
            awaited_ = 0;
            std::rethrow_exception(job->error);
        }
        arrived(job, nullptr);
        return;
    }
    QThread* thread = QThread::create([job] { run(*job); });
    threads_.push_back(thread);
    connect(thread, &QThread::finished, this, [this, job, thread] { arrived(job, thread); });
    thread->start();
    if (progress_ && !dialog_) delay_->start();
}

void BackgroundWork::run(Job& job) {
    try {
        job.apply = job.work();
    } catch (...) {
        job.error = std::current_exception();
    }
    job.work = nullptr;  // what it held goes on the thread that used it
}

void BackgroundWork::cancel() {
    if (!awaited_) return;
    awaited_ = 0;
    hideProgress();
    Q_EMIT cancelled();
}

void BackgroundWork::arrived(const std::shared_ptr<Job>& job, QThread* thread) {
    if (thread) {
        thread->wait();
        threads_.erase(std::remove(threads_.begin(), threads_.end(), thread), threads_.end());
        delete thread;
    }
    if (job->number != awaited_) return;  // newer work was started, or it was cancelled
    awaited_ = 0;
    hideProgress();
    if (job->error) {
        try {
            std::rethrow_exception(job->error);
        } catch (const std::exception& e) {
            if (job->failed)
                job->failed(e);
            else
                reportError(e, owner_);
        }
    } else if (job->apply) {
        job->apply();
    }
    Q_EMIT finished();
}

QProgressDialog* BackgroundWork::progressDialog() const { return dialog_; }

void BackgroundWork::showProgress() {
    if (!awaited_ || dialog_) return;
    dialog_ = new QProgressDialog(caption_, QStringLiteral("中止"), 0, 0, owner_);
    dialog_->setObjectName(QStringLiteral("BackgroundProgress"));
    dialog_->setWindowTitle(programName());
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setMinimumDuration(0);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    connect(dialog_, &QProgressDialog::canceled, this, &BackgroundWork::cancel);
    dialog_->show();
}

void BackgroundWork::hideProgress() {
    delay_->stop();
    if (!dialog_) return;
    dialog_->disconnect(this);
    dialog_->hide();
    dialog_->deleteLater();
    dialog_ = nullptr;
}

}  // namespace quil::ui

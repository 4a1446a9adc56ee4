#include "ui/dialogs/TViewTimeForm.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <tuple>

#include "store/Date.h"
#include "store/Period.h"
#include "store/Settings.h"
#include "ui/components/PeriodChoice.h"
#include "ui/components/TRetComboBox.h"
#include "ui/components/TRetEdit.h"
#include "ui/components/UpDownArrows.h"
#include "ui/dialogs/MainContext.h"
#include "ui/dialogs/MainWindowPlacement.h"
#include "ui/dialogs/OkCancelButtons.h"
#include "ui/dialogs/Prompts.h"

namespace quil::ui {
namespace {

int currentYear() { return store::decodeDate(store::today()).year; }

// One to four digits: the settings hold the year as the first four characters.
bool yearDigits(const QString& year) {
    if (year.isEmpty() || year.size() > 4) return false;
    for (QChar c : year)
        if (c < u'0' || c > u'9') return false;
    return true;
}

// Whether the text stored for `kind` reads back as a period (the year 0 does not).
bool readsBack(store::PeriodKind kind, const std::string& stored) {
    try {
        const store::StoredPeriod p = store::parseStoredPeriod(kind, stored, currentYear());
        store::periodRange(kind, p.year, p.subIndex);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace

QStringList periodPartEntries(store::PeriodKind kind) { return periodPartCaptions(kind); }

TViewTimeForm::TViewTimeForm(MainContext& context, QWidget* parent)
    : OkCancelForm(parent), context_(context) {
    setObjectName(QStringLiteral("ViewTimeForm"));
    setWindowTitle(QStringLiteral("表示期間"));

    // Five buttons in two columns, filled top to bottom and then left to right.
    auto* group = new QGroupBox(QStringLiteral("期間"), this);
    group->setObjectName(QStringLiteral("RadioGroup1"));
    auto* grid = new QGridLayout(group);
    radioGroup_ = new QButtonGroup(this);
    // Every kind with a period of its own; the button's id is the kind's stored number.
    for (const store::PeriodKind k : store::kPeriodKinds) {
        if (!store::hasStoredPeriod(k)) continue;
        const int at = store::storedNumber(k) - store::storedNumber(store::PeriodKind::Year);
        auto* button = new QRadioButton(QString::fromUtf8(store::periodKindInfo(k).name), group);
        radioGroup_->addButton(button, store::storedNumber(k));
        grid->addWidget(button, at % 3, at / 3);
    }

    edit1_ = new TRetEdit(this);
    edit1_->setObjectName(QStringLiteral("Edit1"));
    edit1_->setFixedWidth(60);
    edit1_->setAttribute(Qt::WA_InputMethodEnabled, false);
    edit1_->installEventFilter(this);

    upDown1_ = new QWidget(this);
    upDown1_->setObjectName(QStringLiteral("UpDown1"));
    std::tie(up_, down_) = addUpDownArrows(upDown1_);
    connect(up_, &QToolButton::clicked, this, [this] { stepYear(1); });
    connect(down_, &QToolButton::clicked, this, [this] { stepYear(-1); });

    label1_ = new QLabel(QStringLiteral("年"), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setMinimumWidth(30);

    auto* parts = new TRetComboBox(this);
    parts->setEditable(true);
    parts->setInsertPolicy(QComboBox::NoInsert);
    parts->setMaxVisibleItems(12);
    parts->setMinimumWidth(90);
    comboBox1_ = parts;
    comboBox1_->setObjectName(QStringLiteral("ComboBox1"));

    auto* yearRow = new QHBoxLayout;
    yearRow->setSpacing(2);
    yearRow->addWidget(edit1_);
    yearRow->addWidget(upDown1_);
    yearRow->addSpacing(4);
    yearRow->addWidget(label1_);
    yearRow->addWidget(comboBox1_);
    yearRow->addStretch();
    // Hidden controls keep their place, so the dialog does not jump between kinds.
    for (QWidget* w : yearControls()) {
        QSizePolicy policy = w->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        w->setSizePolicy(policy);
    }

    QHBoxLayout* buttons = makeButtonRow();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(yearRow);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(radioGroup_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) RadioGroup1Click();
    });
}

std::array<QWidget*, 4> TViewTimeForm::yearControls() const {
    return {edit1_, upDown1_, label1_, comboBox1_};
}

QRadioButton* TViewTimeForm::periodButton(store::PeriodKind kind) const {
    return qobject_cast<QRadioButton*>(radioGroup_->button(store::storedNumber(kind)));
}

store::PeriodKind TViewTimeForm::selectedKind() const {
    // The group's ids are the kinds' stored numbers; -1 when no button is checked.
    return store::storedPeriodKindOf(radioGroup_->checkedId()).value_or(store::PeriodKind::All);
}

void TViewTimeForm::FormShow() {
    placeBesideMainWindow(*this, context_.mainWidget(), kFurtherBesideMain);
    // Nothing selected first, so selecting the stored kind always sets up the controls.
    radioGroup_->setExclusive(false);
    for (QAbstractButton* b : radioGroup_->buttons()) b->setChecked(false);
    radioGroup_->setExclusive(true);
    for (QWidget* w : yearControls()) w->hide();
    const store::PeriodKind kind =
        store::Settings(context_.programFolder()).periodKind(store::PeriodKind::Year);
    if (QRadioButton* button = periodButton(kind)) button->setChecked(true);
}

void TViewTimeForm::RadioGroup1Click() {
    const store::PeriodKind kind = selectedKind();
    if (!store::hasStoredPeriod(kind)) return;
    edit1_->show();
    upDown1_->show();
    label1_->show();
    label1_->setText(store::isFiscal(kind) ? QStringLiteral("年度") : QStringLiteral("年"));
    comboBox1_->clear();
    comboBox1_->setVisible(store::hasSubIndex(kind));
    comboBox1_->addItems(periodPartEntries(kind));

    std::string storedText = store::Settings(context_.programFolder()).storedPeriod(kind);
    // A stored period that does not read back (an edited or damaged settings file) shows
    // as the default one, the current year and the first part, which OK then stores.
    if (!readsBack(kind, storedText)) storedText.clear();
    const QString stored = QString::fromStdString(storedText);
    bool partOk = true;
    const int part = stored.size() >= 5 ? stored.mid(4).toInt(&partOk) : 0;
    const QString year = stored.isEmpty()
                             ? QStringLiteral("%1").arg(currentYear(), 4, 10, QLatin1Char('0'))
                             : stored.left(4);
    edit1_->setText(year);
    bool yearOk = false;
    const int value = year.toInt(&yearOk);
    if (yearOk) upDownPosition_ = std::clamp(value, kMinYear, kMaxYear);
    comboBox1_->setCurrentIndex(partOk && part >= 0 && part < comboBox1_->count() ? part : -1);
}

void TViewTimeForm::stepYear(int delta) {
    bool ok = false;
    const int value = edit1_->text().toInt(&ok);
    // A box that holds no number steps from the control's last position.
    const int from = ok ? std::clamp(value, kMinYear, kMaxYear) : upDownPosition_;
    upDownPosition_ = std::clamp(from + delta, kMinYear, kMaxYear);
    edit1_->setText(QString::number(upDownPosition_));
}

bool TViewTimeForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == edit1_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            stepYear(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TViewTimeForm::refuse(const QString& message, QWidget* focus) {
    Prompts::current().warning(this, message);
    focus->setFocus();
}

void TViewTimeForm::Button1Click() {
    const store::PeriodKind kind = selectedKind();
    const QString year = edit1_->text();
    // Every list load and every start reads the stored year back as a number; the year is
    // the up-down's range (a short "99" would be stored as the year 991).
    const bool hasYear = store::hasStoredPeriod(kind);
    if (hasYear && (!yearDigits(year) || year.toInt() < kMinYear || year.toInt() > kMaxYear)) {
        refuse(QStringLiteral("正しい年を入力して下さい！"), edit1_);
        return;
    }
    int part = 0;
    if (store::hasSubIndex(kind)) {
        // The part shown in the list: an entry chosen, or typed exactly as listed.
        part = comboBox1_->findText(comboBox1_->currentText(), Qt::MatchExactly);
        if (part < 0) {
            refuse(QStringLiteral("期間を一覧から選択して下さい！"), comboBox1_);
            return;
        }
    }
    QString storedText = year;
    if (store::hasSubIndex(kind)) storedText += QString::number(part);
    const std::string stored = storedText.toStdString();
    if (hasYear && !readsBack(kind, stored)) {
        refuse(QStringLiteral("正しい年を入力して下さい！"), edit1_);
        return;
    }

    store::Settings settings(context_.programFolder());
    settings.setPeriodKind(kind);
    settings.setStoredPeriod(kind, stored);
    context_.showPeriodLabel(
        QString::fromStdString(store::periodLabel(settings, kind, part, year.toStdString())));
    context_.reloadList();
    close();
}

}  // namespace quil::ui

#include "ui/components/TComboInplaceEdit.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFocusRect>
#include <QValidator>

#include "store/Codec.h"
#include "ui/components/Cp932LimitValidator.h"
#include "ui/components/EditMask.h"
#include "ui/components/TComboGrid.h"

namespace quil::ui {

// ---- TInplaceListBox --------------------------------------------------------------------

TInplaceListBox::TInplaceListBox(TComboInplaceEdit* editor) : QListWidget(editor), editor_(editor) {
    setWindowFlags(Qt::Popup | Qt::FramelessWindowHint);
    setFocusPolicy(Qt::NoFocus);
    setSelectionMode(SingleSelection);
    resize(width(), 97);
    hide();
    connect(this, &QListWidget::currentRowChanged, this, [this](int) {
        if (!quiet_) editor_->listClicked();
    });
}

void TInplaceListBox::takeSelection() {
    const QList<QListWidgetItem*> picked = selectedItems();
    if (!picked.isEmpty()) editor_->setText(picked.first()->text());
}

void TInplaceListBox::mouseReleaseEvent(QMouseEvent* event) {
    QListWidget::mouseReleaseEvent(event);
    takeSelection();
    hide();
    editor_->update();
}

void TInplaceListBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        hide();
        editor_->update();
        return;
    }
    QListWidget::keyPressEvent(event);
}

void TInplaceListBox::keyReleaseEvent(QKeyEvent* event) {
    QListWidget::keyReleaseEvent(event);
    takeSelection();
}

// ---- TComboInplaceEdit ------------------------------------------------------------------

TComboInplaceEdit::TComboInplaceEdit(TComboGrid* grid, QWidget* parent)
    : QLineEdit(parent), grid_(grid) {
    setFrame(false);
    setMouseTracking(true);
}

TComboInplaceEdit::~TComboInplaceEdit() = default;

void TComboInplaceEdit::setCellKind(const TCellKind* value) {
    if (!value) {
        kind_.Kind = ckText;
        updateTextArea();
        return;
    }
    kind_.Assign(*value);
    updateTextArea();
    if (kind_.Kind != ckList) return;
    if (!list_) list_ = new TInplaceListBox(this);
    list_->quiet_ = true;
    list_->clear();
    list_->resize(kind_.ListWidth, list_->height());
    for (const TCellItem& item : kind_.Items.list()) list_->addItem(item.Text);
    list_->quiet_ = false;
}

void TComboInplaceEdit::setEditMask(const QString& mask) {
    editMask_ = mask;
    setInputMask(toQtInputMask(mask));
}

void TComboInplaceEdit::setMaxLength(int bytes) {
    maxBytes_ = std::max(0, bytes);
    delete validator();
    setValidator(maxBytes_ > 0 ? new Cp932LimitValidator(std::size_t(maxBytes_), this) : nullptr);
}

bool TComboInplaceEdit::onButtonStrip(int x) const {
    return kind_.Kind == ckList && x > width() - ButtonWidth();
}

// Keeps the text clear of the button strip of a list column.
void TComboInplaceEdit::updateTextArea() {
    if (kind_.Kind == ckList) {
        setTextMargins(2, 2, ButtonWidth() + 2, 0);
    } else {
        setTextMargins(0, 0, 0, 0);
    }
    update();
}

void TComboInplaceEdit::paintEvent(QPaintEvent* event) {
    QLineEdit::paintEvent(event);
    if (kind_.Kind != ckList) return;
    QPainter p(this);
    const int W = width();
    const int H = height();
    const int bw = ButtonWidth();
    const QRect button(W - bw, 0, bw, H - 1);
    QStyleOptionButton opt;
    opt.initFrom(this);
    opt.rect = button;
    opt.features = QStyleOptionButton::Flat;
    opt.state = QStyle::State_Enabled | (buttonDown_ ? QStyle::State_Sunken : QStyle::State_Raised);
    p.fillRect(button, palette().color(QPalette::Button));
    style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &opt, &p, this);
    p.setPen(palette().color(QPalette::ButtonText));
    for (int k = 0; k < 4; ++k) {
        const int y = H / 2 - 2 + k;
        const int x = W - bw / 2 - 4 + k;
        p.drawLine(x, y, x + (7 - 2 * k) - 1, y);
    }
    if (buttonDown_) {
        QStyleOptionFocusRect fr;
        fr.initFrom(this);
        fr.rect = QRect(W - bw, 0, bw, H);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &fr, &p, this);
    }
}

void TComboInplaceEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    updateTextArea();
}

void TComboInplaceEdit::focusOutEvent(QFocusEvent* event) {
    // The list is a popup: its own opening takes the focus with PopupFocusReason.
    if (kind_.Kind == ckList && list_ && event->reason() != Qt::PopupFocusReason) list_->hide();
    QLineEdit::focusOutEvent(event);
}

void TComboInplaceEdit::mousePressEvent(QMouseEvent* event) {
    downX_ = -1;
    const int x = event->position().toPoint().x();
    if (onButtonStrip(x)) {
        buttonDown_ = true;
        downX_ = x;
        update();
        return;  // the strip is a button, not text
    }
    QLineEdit::mousePressEvent(event);
}

void TComboInplaceEdit::mouseMoveEvent(QMouseEvent* event) {
    setCursor(onButtonStrip(event->position().toPoint().x()) ? Qt::ArrowCursor : Qt::IBeamCursor);
    QLineEdit::mouseMoveEvent(event);
}

void TComboInplaceEdit::mouseReleaseEvent(QMouseEvent* event) {
    const bool click =
        event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    if (click && kind_.Kind == ckList && downX_ >= 0) DropDown();
    if (downX_ < 0) QLineEdit::mouseReleaseEvent(event);
    buttonDown_ = false;
    downX_ = -1;
    update();
}

void TComboInplaceEdit::DropDown() {
    if (!list_) return;
    if (list_->isHidden()) {
        list_->quiet_ = true;
        if (list_->count() > 0) {
            list_->setCurrentRow(0);
            list_->scrollToTop();
            const int match = kind_.Items.IndexOf(text());
            if (match >= 0 && match < list_->count()) {
                list_->setCurrentRow(match);
            } else {
                list_->setCurrentIndex(QModelIndex());
                list_->clearSelection();
            }
        }
        list_->quiet_ = false;
        const int w = std::max(kind_.ListWidth, width());
        list_->resize(w, list_->height());
        const QPoint bottomLeft = mapToGlobal(QPoint(0, height()));
        list_->move(bottomLeft.x() + width() - w, bottomLeft.y());
        list_->show();
        list_->raise();
        selectAll();
    } else {
        list_->hide();
    }
    update();
    if (grid_) grid_->viewport()->update();
}

void TComboInplaceEdit::CloseUp() {
    if (list_ && list_->isVisible()) {
        list_->hide();
        update();
    }
}

void TComboInplaceEdit::keyPressEvent(QKeyEvent* event) {
    if (kind_.Kind == ckList && list_) {
        if (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) {
            QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text(),
                           event->isAutoRepeat(), event->count());
            list_->QListWidget::keyPressEvent(&copy);
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            CloseUp();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TComboInplaceEdit::keyReleaseEvent(QKeyEvent* event) {
    if (kind_.Kind == ckList && list_ &&
        (event->key() == Qt::Key_Up || event->key() == Qt::Key_Down)) {
        QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text(),
                       event->isAutoRepeat(), event->count());
        list_->keyReleaseEvent(&copy);
        return;
    }
    QLineEdit::keyReleaseEvent(event);
}

void TComboInplaceEdit::listClicked() {
    if (grid_) grid_->DoGridBtnClick(grid_->Col(), grid_->Row());
}

}  // namespace quil::ui

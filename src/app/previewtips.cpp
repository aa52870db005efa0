#include "app/previewtips.h"

#include "core/previews.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QStyle>
#include <QToolTip>

namespace slidemill {

PreviewTips::PreviewTips(QAbstractItemView* view, PreviewSource& previews)
    : QObject(view), view_(view), previews_(previews) {
    rest_.setSingleShot(true);
    rest_.setInterval(view->style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay));
    connect(&rest_, &QTimer::timeout, this, &PreviewTips::showCurrent);
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { currentChanged(current); });
    connect(&previews, &PreviewSource::made, this, &PreviewTips::made);
    // The pointer is followed over the entries, not only while a button is down.
    view->viewport()->setMouseTracking(true);
    view->viewport()->installEventFilter(this);
    view->installEventFilter(this);
}

PreviewTips::~PreviewTips() {
    previews_.want(view_, {});
}

bool PreviewTips::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_) {
        switch (event->type()) {
        case QEvent::KeyPress:
            keys_ = true;
            break;
        case QEvent::KeyRelease:
            keys_ = false;
            break;
        case QEvent::FocusIn: {
            // Once the list has made an entry current, as it does when the focus comes to it
            // without one.
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
                QTimer::singleShot(0, this, [this] {
                    if (view_->hasFocus())
                        restOn(view_->currentIndex());
                });
            break;
        }
        case QEvent::FocusOut:
            rest_.stop();
            break;
        default:
            break;
        }
        return false;
    }
    switch (event->type()) {
    case QEvent::MouseMove:
        want(view_->indexAt(static_cast<QMouseEvent*>(event)->position().toPoint()));
        return false;
    case QEvent::Leave:
        want({});
        return false;
    case QEvent::ToolTip: {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = view_->indexAt(help->pos());
        if (index.isValid()) {
            want(index);
            show(index, help->globalPos());
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    default:
        return false;
    }
}

void PreviewTips::want(const QModelIndex& index) {
    previews_.want(view_, index.data(kPreviewPathRole).toString());
}

void PreviewTips::show(const QModelIndex& index, const QPoint& at) {
    shown_ = index;
    shownAt_ = at;
    shownText_ = index.data(Qt::ToolTipRole).toString();
    QToolTip::showText(at, shownText_, view_->viewport(), view_->visualRect(index));
}

// The current entry gets its tip when the keys moved to it, not when a click or a button did:
// a click has the pointer's own tip.
void PreviewTips::currentChanged(const QModelIndex& current) {
    if (keys_ && view_->hasFocus())
        restOn(current);
}

void PreviewTips::restOn(const QModelIndex& current) {
    rest_.stop();
    if (!current.isValid())
        return;
    want(current);
    rest_.start();
}

void PreviewTips::showCurrent() {
    const QModelIndex current = view_->currentIndex();
    if (!current.isValid() || !view_->hasFocus())
        return;
    const QRect entry = view_->visualRect(current);
    if (!view_->viewport()->rect().intersects(entry))
        return;
    // The tip goes just under the entry.
    show(current, view_->viewport()->mapToGlobal(QPoint(entry.left(), entry.center().y())));
}

void PreviewTips::made(const QString& path) {
    if (!shown_.isValid() || !QToolTip::isVisible() || QToolTip::text() != shownText_ ||
        shown_.data(kPreviewPathRole).toString() != path)
        return;
    show(shown_, shownAt_);
}

} // namespace slidemill

#pragma once

#include <QObject>
#include <QPersistentModelIndex>
#include <QPoint>
#include <QTimer>

class QAbstractItemView;

namespace slidemill {

class PreviewSource;

// Previews on a list's entries. Resting the pointer on an entry shows its tool tip, and so
// does resting on the current entry after the keys moved to it or the focus came to the list.
// The preview is asked for as soon as the pointer reaches an entry or the keys move to it, so
// that it is mostly made by the time the tip shows, and the tip is shown again when it is; the
// pointer leaving the list, or the focus, lets the preview go unmade. The entries give the
// path of their picture under kPreviewPathRole and their tip under Qt::ToolTipRole.
class PreviewTips : public QObject {
public:
    PreviewTips(QAbstractItemView* view, PreviewSource& previews);
    ~PreviewTips() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void want(const QModelIndex& index);
    void show(const QModelIndex& index, const QPoint& at);
    void currentChanged(const QModelIndex& current);
    void restOn(const QModelIndex& current);
    void showCurrent();
    void made(const QString& path);

    QAbstractItemView* view_;
    PreviewSource& previews_;
    // The tip for the current entry waits as long as one for the pointer does.
    QTimer rest_;
    // The keys are moving the current entry.
    bool keys_ = false;
    // The tip last shown and where.
    QPersistentModelIndex shown_;
    QPoint shownAt_;
    QString shownText_;
};

} // namespace slidemill

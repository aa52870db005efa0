#pragma once

#include "app/form1.h"
#include "host/desktopopener.h"
#include "pictures/previewmaker.h"
#include "slides/picturemetrics.h"
#include "support/fakevolumes.h"
#include "support/scriptedboxes.h"

#include <QEvent>
#include <QListWidget>
#include <QMutex>
#include <QSettings>
#include <QTemporaryDir>
#include <atomic>
#include <functional>

namespace slidemill::test {

// The real picture loader, slowed down when asked, writing down every path it is given. A build
// calls it on its own thread.
class WatchedLoader : public PictureLoader {
public:
    // Milliseconds each picture takes on top of measuring it.
    std::atomic<int> delay{0};
    // Called as each picture is loaded, on the loading thread; set while no build runs.
    std::function<void()> whileLoading;
    QStringList asked() const;
    Picture load(const QString& path) override;

private:
    HeaderPictureLoader inner_;
    mutable QMutex mutex_;
    QStringList asked_;
};

// Calls back for every event of one type that reaches an object, for as long as it lives.
class EventWatch : public QObject {
public:
    EventWatch(QObject* target, QEvent::Type type, std::function<void()> seen)
        : type_(type), seen_(std::move(seen)) {
        target->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type_)
            seen_();
        return false;
    }

private:
    QEvent::Type type_;
    std::function<void()> seen_;
};

// The desktop's "open this file", written down; it fails when told to.
class RecordingOpener : public DesktopOpener {
public:
    QStringList opened;
    bool works = true;
    bool open(const QString& path) override {
        opened << path;
        return works;
    }
};

// A shown Form1 on test doubles, and the user's hand on it: clicks on buttons and rows.
class FormDriver {
public:
    ScriptedMessageBoxes boxes;
    FakeVolumes volumes;
    WatchedLoader loader;
    PreviewMaker previews;
    std::function<std::unique_ptr<SavingHost>()> newHost;
    // The resolution the last host was made for.
    int pixelsPerInch = -1;
    // The folder it was to save in.
    QString folder;
    // Every host asked for, in order.
    QList<DeckRequest> requests;
    QSettings* settings = nullptr;
    // The album window's file dialogs: each question asked, with the path it suggested, and
    // the answers to give, in order (none left: cancelled).
    QList<QPair<FileQuestion, QString>> asked;
    QList<QStringList> answers;
    // Where its deck pictures and shows go.
    QTemporaryDir albumFiles;
    std::unique_ptr<Form1> form;

    // Shows a new window; false when it never appears.
    bool open();
    // Builds write real decks as the application's own factory makes them: new presentations
    // in `documents` (or the album's folder), an album's file where it asks, opened by `opener`
    // where asked.
    void writeRealDecks(const QString& documents, DesktopOpener* opener);

    template <class T> T* control(const char* name) const {
        T* w = form->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QListWidget* list(const char* name) const { return control<QListWidget>(name); }
    QAbstractItemView* view(const char* name) const { return control<QAbstractItemView>(name); }
    void click(const char* button);
    // Clicks a build button and waits until the build has ended and its messages are shown;
    // false when it does not end within the time.
    bool build(const char* button, int timeoutMs = 60000);
    bool waitForBuild(int timeoutMs = 60000);
    // A click the user gives while the program is busy: queued until events are taken again.
    static void postClick(QWidget* widget);
    static void clickRow(QAbstractItemView* list, int row, Qt::KeyboardModifiers mods = {});
    static void doubleClickRow(QAbstractItemView* list, int row);
    // A plain click on the first row, Ctrl+click on the rest: the last one is current.
    static void selectRows(QAbstractItemView* list, const QList<int>& rows);
    // The rows as the list shows them.
    static QStringList texts(const QAbstractItemView* list);
};

} // namespace slidemill::test

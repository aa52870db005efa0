#pragma once

#include "core/messageboxes.h"
#include "host/savinghost.h"
#include "slides/albumoptions.h"
#include "slides/picture.h"

#include <QList>
#include <QObject>
#include <functional>
#include <memory>

class QWidget;

namespace slidemill {

class RuntimeError;

// Where a build's deck goes and what becomes of it.
struct DeckRequest {
    // Pictures are stored at this many pixels per inch of their size on the slide; 0: as their
    // files hold them.
    int pixelsPerInch = 0;
    // Where a new "Presentation N.pptx" is saved; empty: the documents folder.
    QString folder;
    // The deck's own file, written over; ".ppsx" makes a show. Empty: a new presentation.
    QString path;
    // Handed to the desktop to open once saved.
    bool open = true;
};

// A new presentation application for each build, saving as asked; it tells where it saved.
using HostFactory = std::function<std::unique_ptr<SavingHost>(const DeckRequest& request)>;

// What a build needs beyond the window it is started from; tests put their own in its place.
struct BuildServices {
    MessageBoxes& boxes;
    PictureLoader& loader;
    HostFactory newHost;
};

// A window's builds, one at a time, each from the click that starts it until its messages have
// been shown. The build runs on a thread of its own, so that the window paints and moves
// meanwhile; the window takes no input but Cancel, the controls given show it disabled, the
// cursor is busy, and "Photo k of n" with Cancel shows over the window once the build has run
// for about a second. Cancel stops the build after the slide it is making. At the end the user
// learns where the deck went unless the desktop opened it, or what went wrong.
class BuildRun : public QObject {
    Q_OBJECT
public:
    // `window`: where the progress and the messages show, and whose input is refused while a
    // build runs; `controls`: those of its controls shown disabled meanwhile.
    BuildRun(QWidget* window, QList<QWidget*> controls, BuildServices services);
    // A build still running is cancelled and waited for: the slides made are saved as after
    // Cancel, and nothing is told.
    ~BuildRun() override;

    // Builds `paths` with the album's options, but `layout` for its layout and the Description
    // box ticked or not (`description`), at `pixelsPerInch`, into the album's folder. Nothing
    // while a build runs. When no host can be made the user is told at once and no build
    // begins: neither `measured` nor `ended` follows.
    void start(Layout layout, const QStringList& paths, const Album& album, bool description,
               int pixelsPerInch);
    // Builds `paths` with `options` as `request` asks. A deck saved without being opened is
    // told by `saved` alone.
    void start(const BuildOptions& options, const QStringList& paths, DeckRequest request);
    bool running() const { return build_ != nullptr; }

Q_SIGNALS:
    // Photo `index` (from 0) of `count` is being made; looked at a few times a second, so
    // photos made in between are not told.
    void progressed(int index, int count);
    // The build has stopped, `last` the last picture it measured (none measured: not sent);
    // before the window takes input again and before the messages.
    void measured(const Picture& last);
    // The deck has been written to `path` (also after Cancel or an error), before the messages.
    void saved(const QString& path, bool complete);
    // The build has ended and its messages have been shown.
    void ended();

private:
    struct Build;

    void end();
    void tellWhereTheDeckWent(const QString& saved, bool opened, BuildResult result,
                              const RuntimeError* error, bool openAsked = true);

    QWidget* window_;
    QList<QWidget*> controls_;
    BuildServices services_;
    std::unique_ptr<Build> build_;
};

} // namespace slidemill

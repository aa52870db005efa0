#include "support/formdriver.h"

#include "host/pptxhost.h"
#include "host/renderinghost.h"

#include "support/recordinghost.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

namespace slidemill::test {

QStringList WatchedLoader::asked() const {
    const QMutexLocker lock(&mutex_);
    return asked_;
}

Picture WatchedLoader::load(const QString& path) {
    {
        const QMutexLocker lock(&mutex_);
        asked_ << path;
    }
    if (const int ms = delay.load())
        QThread::msleep(ms);
    if (whileLoading)
        whileLoading();
    return inner_.load(path);
}

bool FormDriver::open() {
    if (!newHost)
        newHost = [] { return std::make_unique<RecordingHost>(); };
    form = std::make_unique<Form1>(
        Services{boxes, volumes, loader, previews,
                 [this](const DeckRequest& request) {
                     pixelsPerInch = request.pixelsPerInch;
                     folder = request.folder;
                     requests << request;
                     return newHost();
                 },
                 settings,
                 [this](QWidget*, FileQuestion question, const QString& suggested) {
                     asked << qMakePair(question, suggested);
                     return answers.isEmpty() ? QStringList() : answers.takeFirst();
                 },
                 albumFiles.filePath(QStringLiteral("deck pictures")),
                 albumFiles.filePath(QStringLiteral("shows"))});
    form->show();
    return QTest::qWaitForWindowExposed(form.get());
}

void FormDriver::writeRealDecks(const QString& documents, DesktopOpener* opener) {
    newHost = [this, documents, opener] {
        PptxHostOptions o;
        o.documentsFolder = folder.isEmpty() ? documents : folder;
        const DeckRequest asked = requests.last();
        o.outputPath = asked.path;
        o.keepOnFailure = asked.path.isEmpty();
        o.opener = asked.open ? opener : nullptr;
        return hostFor(o);
    };
}

void FormDriver::click(const char* button) {
    QTest::mouseClick(control<QPushButton>(button), Qt::LeftButton);
}

bool FormDriver::build(const char* button, int timeoutMs) {
    click(button);
    return waitForBuild(timeoutMs);
}

bool FormDriver::waitForBuild(int timeoutMs) {
    if (!form->building())
        return true;
    // A plain event loop meanwhile, as the application's own.
    QSignalSpy ended(form.get(), &Form1::buildEnded);
    return ended.wait(timeoutMs);
}

void FormDriver::postClick(QWidget* widget) {
    const QPointF at = QRectF(widget->rect()).center();
    const QPointF global = widget->mapToGlobal(at);
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(
            widget,
            new QMouseEvent(type, at, global, Qt::LeftButton,
                            type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                            Qt::NoModifier));
}

namespace {

QPoint rowCentre(QAbstractItemView* list, int row) {
    return list->visualRect(list->model()->index(row, 0)).center();
}

} // namespace

void FormDriver::clickRow(QAbstractItemView* list, int row, Qt::KeyboardModifiers mods) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, rowCentre(list, row));
}

void FormDriver::doubleClickRow(QAbstractItemView* list, int row) {
    const QPoint at = rowCentre(list, row);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

void FormDriver::selectRows(QAbstractItemView* list, const QList<int>& rows) {
    for (qsizetype i = 0; i < rows.size(); ++i)
        clickRow(list, rows[i], i == 0 ? Qt::NoModifier : Qt::ControlModifier);
}

QStringList FormDriver::texts(const QAbstractItemView* list) {
    QStringList out;
    const QAbstractItemModel* model = list->model();
    for (int i = 0; i < model->rowCount(); ++i)
        out << model->index(i, 0).data().toString();
    return out;
}

} // namespace slidemill::test

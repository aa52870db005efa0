#include "browser/drivelist.h"

#include "core/nativepath.h"
#include "core/runtimeerror.h"

#include <QSignalBlocker>

namespace slidemill {

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
    setAccessibleName(QStringLiteral("Drives"));
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            Q_EMIT changed();
    });
}

QString DriveList::drive() const {
    return currentData().toString();
}

void DriveList::setVolumes(const QList<Volume>& volumes, int index) {
    const QSignalBlocker blocker(this);
    clear();
    for (const Volume& v : volumes) {
        const QString mountPoint = printablePath(v.mountPoint);
        const QString text = v.name.isEmpty() || v.name == v.mountPoint
                                 ? mountPoint
                                 : QStringLiteral("%1 (%2)").arg(printablePath(v.name), mountPoint);
        addItem(text, v.mountPoint);
    }
    setCurrentIndex(index);
}

void DriveList::showPopup() {
    if (source_) {
        try {
            const QList<Volume> volumes = source_->list();
            const QString chosen = drive();
            const QString chosenText = currentText();
            qsizetype index = -1;
            for (qsizetype i = 0; i < volumes.size(); ++i) {
                if (volumes[i].mountPoint == chosen)
                    index = i;
            }
            setVolumes(volumes, int(index));
            // The chosen volume stays listed even when it has gone.
            if (index < 0 && !chosen.isEmpty()) {
                const QSignalBlocker blocker(this);
                addItem(chosenText, chosen);
                setCurrentIndex(count() - 1);
            }
        } catch (const RuntimeError&) {
            // Keep the list as it stands.
        }
    }
    QComboBox::showPopup();
}

} // namespace slidemill

#include "browser/drivelist.h"

namespace slidemill {

DriveList::DriveList(QWidget* parent) : QComboBox(parent) { addItem(QStringLiteral("/"), QStringLiteral("/")); }

QString DriveList::drive() const { return currentData().toString(); }

} // namespace slidemill

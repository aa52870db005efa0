#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace slidemill {

// A day as a camera's clock or a file's name writes it, without a time zone, and its time of
// day, invalid where only the day is told ("IMG-20250713-WA0001"). An invalid day: not known.
struct PhotoDate {
    QDate day;
    QTime time;
    bool isValid() const { return day.isValid(); }
};

// The day, and the time where told, that the file name of `path` (not its folders) gives by
// the patterns phones, cameras and messengers write: "IMG_20250712_101502",
// "Screenshot 2025-07-14 at 10.15.02", "IMG-20250713-WA0001". Invalid when the name fits no
// pattern, or the date it writes is not on the calendar or not from 1990 to 2099.
PhotoDate nameDate(const QString& path);

} // namespace slidemill

#pragma once

#include "slides/picture.h"

#include <QSize>
#include <utility>

namespace slidemill::pictures {

// What the pictures decoded at once may hold besides what is streamed a few lines at a time.
inline constexpr qint64 kDecodeBudget = qint64(512) << 20;

// Error 481 naming the picture: it would take more than the whole budget.
[[noreturn]] void tooLarge(const Picture& picture, QSize pixels);

// The budget the whole process shares, held by the program: takes `bytes`, first waiting until
// they are free when `wait`; gives them back.
void takeDecodeBudget(qint64 bytes, bool wait);
void giveDecodeBudget(qint64 bytes);

// A picture's share of the decode budget, taken before the memory is: the first share waits
// until it is free, later ones are taken at once, so that two pictures never wait for each
// other; more than all of it is refused as too large to decode.
class Reservation {
public:
    Reservation() = default;
    Reservation(Reservation&& other) noexcept : bytes_(std::exchange(other.bytes_, 0)) {}
    Reservation& operator=(Reservation&&) = delete;
    ~Reservation();

    void add(const Picture& picture, QSize pixels, qint64 bytes);

private:
    qint64 bytes_ = 0;
};

} // namespace slidemill::pictures

#pragma once

namespace slidemill::pictures {

// The cores this process may run on (its affinity, as taskset or a container's cpuset leave
// it), at least 1: how many pictures are made at once.
int usableCores();

} // namespace slidemill::pictures

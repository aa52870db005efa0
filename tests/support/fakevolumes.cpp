#include "support/fakevolumes.h"

#include "core/runtimeerror.h"

namespace slidemill::test {

FakeVolumes::FakeVolumes(const QString& folder) {
    add(QStringLiteral("Fake"), folder);
}

void FakeVolumes::add(const QString& name, const QString& mountPoint,
                      const QString& currentFolder) {
    volumes_.append({name, mountPoint});
    state_[mountPoint].currentFolder = currentFolder.isEmpty() ? mountPoint : currentFolder;
}

void FakeVolumes::setUnavailable(const QString& mountPoint, int times) {
    state_[mountPoint].unavailable = times;
}

void FakeVolumes::setFailure(const QString& mountPoint, int number) {
    state_[mountPoint].failure = number;
}

void FakeVolumes::setCurrentFolder(const QString& mountPoint, const QString& folder) {
    state_[mountPoint].currentFolder = folder;
}

QString FakeVolumes::currentFolder(const QString& mountPoint) {
    State& s = state_[mountPoint];
    ++s.calls;
    if (s.failure != 0)
        throw RuntimeError::withFile(s.failure, mountPoint);
    if (s.unavailable != 0) {
        if (s.unavailable > 0)
            --s.unavailable;
        throw RuntimeError::withFile(errDeviceUnavailable, mountPoint);
    }
    return s.currentFolder;
}

} // namespace slidemill::test

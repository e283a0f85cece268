// Carried resources, and writing one of them out to a file in one piece.
#include "engraver/Resources.h"

#include <QFile>
#include <QSaveFile>
#include <QString>
#include <array>
#include <mutex>

// NOTE: resources of a static library are only registered when asked for by name, and the
// macro must stand outside any namespace.
static void registerCoreResources() {
    Q_INIT_RESOURCE(core);
}

namespace ostrel::engraver {

namespace {

struct CarriedResource {
    int id;
    const char* qtPath;
};

// The carried resources by their old ids. The port library (102) has no counterpart here: the
// port backend takes its place.
constexpr std::array<CarriedResource, 1> kCarried{{
    {kSchematicResource, ":/ostrel/graver.jpg"},  // the wiring schematic, a JPEG
}};

}  // namespace

bool SaveResourceToFile(int resourceId, const std::string& path, std::string& error) {
    static std::once_flag registered;
    std::call_once(registered, registerCoreResources);

    const CarriedResource* carried = nullptr;
    for (const CarriedResource& r : kCarried) {
        if (r.id == resourceId) carried = &r;
    }
    QFile resource(carried ? QString::fromLatin1(carried->qtPath) : QString());
    if (!carried || !resource.open(QIODevice::ReadOnly)) {
        error = "cannot write " + path + ": the program carries no resource " +
                std::to_string(resourceId);
        return false;
    }
    const QByteArray bytes = resource.readAll();

    // The whole file is written beside the target under another name and then renamed over
    // it: a reader never sees half a file, and an older, longer file leaves no tail behind.
    // NOTE: no fall-back to writing the target in place when the folder is read-only; that
    // would bring the stale tail back.
    QSaveFile file(QString::fromStdString(path));
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        error = "cannot write " + path + ": " + file.errorString().toStdString();
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        error = "cannot write " + path + ": " + file.errorString().toStdString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = "cannot write " + path + ": " + file.errorString().toStdString();
        return false;
    }
    error.clear();
    return true;
}

}  // namespace ostrel::engraver

// Material profiles: the dwell each grey level gets on one material, and their files.
//
// A profile file (UTF-8 JSON):
//
//   { "format": "ostrel-material", "version": 1, "name": "Birch plywood 4 mm",
//     "shortestMs": 20, "longestMs": 90, "whiteCutoff": 240,
//     "curve": "gamma", "gamma": 1.6,                       (or)
//     "curve": "points", "points": [[0, 100], [128, 35], [255, 0]],   (or)
//     "curve": "designed",
//     "note": "10 ms steps, 2 W diode" }
//
// Files of a later version are refused rather than half understood.
#include "picture/MaterialProfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <cmath>

#include "jobs/Dwell.h"

namespace ostrel::picture {

namespace {

constexpr const char* kFormatTag = "ostrel-material";
// NOTE: a profile is a few hundred bytes; anything much larger is not one, and reading it
// whole would let any file the operator picks take the program's memory.
constexpr qint64 kMaxFileBytes = 64 * 1024;
constexpr int kDesignedShortestMs = 13;
constexpr int kDesignedLongestMs = 100;
constexpr double kGammaLow = 0.1, kGammaHigh = 10.0;

const char* curveName(DwellCurve curve) {
    switch (curve) {
        case DwellCurve::Designed:
            return "designed";
        case DwellCurve::Gamma:
            return "gamma";
        case DwellCurve::Points:
            return "points";
    }
    return "designed";
}

// The percent (0..100) of the way to the longest dwell at a level, on a points curve.
double pointsPercent(const std::vector<CurvePoint>& points, int level) {
    if (level <= points.front().level) return points.front().percent;
    for (size_t i = 1; i < points.size(); ++i) {
        const CurvePoint& a = points[i - 1];
        const CurvePoint& b = points[i];
        if (level <= b.level)
            return a.percent +
                   double(b.percent - a.percent) * (level - a.level) / (b.level - a.level);
    }
    return points.back().percent;
}

QString quoted(const QString& text) {
    return QStringLiteral("\"") + text + QStringLiteral("\"");
}

// Reads a whole number field; the error names the field.
std::optional<int> wholeNumber(const QJsonObject& object, const char* key, QString& error) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined()) {
        error = QStringLiteral("the field %1 is missing").arg(quoted(QLatin1String(key)));
        return std::nullopt;
    }
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || number != std::floor(number) || std::abs(number) > 1e6) {
        error =
            QStringLiteral("the field %1 must be a whole number").arg(quoted(QLatin1String(key)));
        return std::nullopt;
    }
    return static_cast<int>(number);
}

}  // namespace

MaterialProfile asDesigned() {
    return MaterialProfile{};
}

std::optional<QString> checkProfile(const MaterialProfile& p) {
    if (p.name.trimmed().isEmpty()) return QStringLiteral("the profile has no name");
    if (p.name.size() > kMaxNameLength)
        return QStringLiteral("the name is longer than %1 characters").arg(kMaxNameLength);
    for (const QChar c : p.name) {
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("the name holds a control character");
    }
    if (p.shortestMs < kMinDwellMs || p.shortestMs > kMaxDwellMs)
        return QStringLiteral("the shortest dwell %1 ms is outside %2-%3 ms")
            .arg(p.shortestMs)
            .arg(kMinDwellMs)
            .arg(kMaxDwellMs);
    if (p.longestMs < kMinDwellMs || p.longestMs > kMaxDwellMs)
        return QStringLiteral("the longest dwell %1 ms is outside %2-%3 ms")
            .arg(p.longestMs)
            .arg(kMinDwellMs)
            .arg(kMaxDwellMs);
    if (p.shortestMs > p.longestMs)
        return QStringLiteral("the shortest dwell %1 ms is longer than the longest %2 ms")
            .arg(p.shortestMs)
            .arg(p.longestMs);
    if (p.whiteCutoff < 0 || p.whiteCutoff > 255)
        return QStringLiteral("the white cut-off %1 is not a level 0-255").arg(p.whiteCutoff);
    if (p.curve == DwellCurve::Gamma && !(p.gamma >= kGammaLow && p.gamma <= kGammaHigh))
        return QStringLiteral("the gamma %1 is outside %2-%3")
            .arg(p.gamma)
            .arg(kGammaLow)
            .arg(kGammaHigh);
    if (p.curve == DwellCurve::Points) {
        if (p.points.size() < 2 || p.points.size() > size_t(kMaxCurvePoints))
            return QStringLiteral("a curve needs 2-%1 points").arg(kMaxCurvePoints);
        for (size_t i = 0; i < p.points.size(); ++i) {
            const CurvePoint& point = p.points[i];
            if (point.level < 0 || point.level > 255)
                return QStringLiteral("the curve point level %1 is not a level 0-255")
                    .arg(point.level);
            if (point.percent < 0 || point.percent > 100)
                return QStringLiteral("the curve point percent %1 is outside 0-100")
                    .arg(point.percent);
            if (i > 0 && point.level <= p.points[i - 1].level)
                return QStringLiteral("the curve points must go up in level");
        }
    }
    return std::nullopt;
}

DwellTable dwellTable(const MaterialProfile& profile) {
    // NOTE: a profile that fails its check (no points, shortest above longest, a gamma of 0)
    // would index an empty list or divide by nothing below; it gets the designed dwells.
    const MaterialProfile p = checkProfile(profile) ? asDesigned() : profile;
    DwellTable table{};
    const int span = p.longestMs - p.shortestMs;
    for (int level = 0; level < 256; ++level) {
        double fromShortest = 0;  // ms above the shortest dwell
        switch (p.curve) {
            case DwellCurve::Designed: {
                const int designed = jobs::kDwellMs[static_cast<size_t>(level)];
                fromShortest = double(designed - kDesignedShortestMs) * span /
                               (kDesignedLongestMs - kDesignedShortestMs);
                break;
            }
            case DwellCurve::Gamma:
                fromShortest = span * std::pow((255 - level) / 255.0, p.gamma);
                break;
            case DwellCurve::Points:
                fromShortest = span * pointsPercent(p.points, level) / 100.0;
                break;
        }
        const long dwell = p.shortestMs + std::lround(fromShortest);
        table[static_cast<size_t>(level)] =
            level > p.whiteCutoff
                ? 0
                : static_cast<uint16_t>(std::clamp<long>(dwell, p.shortestMs, p.longestMs));
    }
    return table;
}

QByteArray profileToJson(const MaterialProfile& p) {
    return QJsonDocument(profileToJsonObject(p)).toJson(QJsonDocument::Indented);
}

QJsonObject profileToJsonObject(const MaterialProfile& p) {
    QJsonObject o;
    o.insert(QStringLiteral("format"), QLatin1String(kFormatTag));
    o.insert(QStringLiteral("version"), kProfileVersion);
    o.insert(QStringLiteral("name"), p.name);
    o.insert(QStringLiteral("shortestMs"), p.shortestMs);
    o.insert(QStringLiteral("longestMs"), p.longestMs);
    o.insert(QStringLiteral("whiteCutoff"), p.whiteCutoff);
    o.insert(QStringLiteral("curve"), QLatin1String(curveName(p.curve)));
    if (p.curve == DwellCurve::Gamma) o.insert(QStringLiteral("gamma"), p.gamma);
    if (p.curve == DwellCurve::Points) {
        QJsonArray points;
        for (const CurvePoint& point : p.points)
            points.append(QJsonArray{point.level, point.percent});
        o.insert(QStringLiteral("points"), points);
    }
    if (!p.note.isEmpty()) o.insert(QStringLiteral("note"), p.note);
    return o;
}

ProfileRead profileFromJson(const QByteArray& json) {
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (doc.isNull())
        return {std::nullopt, QStringLiteral("it is not a material profile (%1 at byte %2)")
                                  .arg(parseError.errorString())
                                  .arg(parseError.offset)};
    if (!doc.isObject()) return {std::nullopt, QStringLiteral("it is not a material profile")};
    return profileFromJsonObject(doc.object());
}

ProfileRead profileFromJsonObject(const QJsonObject& o) {
    if (o.value(QStringLiteral("format")).toString() != kFormatTag)
        return {std::nullopt, QStringLiteral("it is not a material profile")};
    QString error;
    const std::optional<int> version = wholeNumber(o, "version", error);
    if (!version) return {std::nullopt, error};
    if (*version > kProfileVersion)
        return {std::nullopt,
                QStringLiteral("it was written by a newer Ostrel (profile version %1; "
                               "this one reads version %2)")
                    .arg(*version)
                    .arg(kProfileVersion)};
    if (*version < 1)
        return {std::nullopt, QStringLiteral("its version %1 is unknown").arg(*version)};

    MaterialProfile p;
    const QJsonValue name = o.value(QStringLiteral("name"));
    if (!name.isString()) return {std::nullopt, QStringLiteral("the field \"name\" is missing")};
    p.name = name.toString();
    const std::optional<int> shortest = wholeNumber(o, "shortestMs", error);
    if (!shortest) return {std::nullopt, error};
    const std::optional<int> longest = wholeNumber(o, "longestMs", error);
    if (!longest) return {std::nullopt, error};
    const std::optional<int> cutoff = wholeNumber(o, "whiteCutoff", error);
    if (!cutoff) return {std::nullopt, error};
    p.shortestMs = *shortest;
    p.longestMs = *longest;
    p.whiteCutoff = *cutoff;

    const QString curve = o.value(QStringLiteral("curve")).toString();
    if (curve == QLatin1String("designed")) {
        p.curve = DwellCurve::Designed;
    } else if (curve == QLatin1String("gamma")) {
        p.curve = DwellCurve::Gamma;
        const QJsonValue gamma = o.value(QStringLiteral("gamma"));
        if (!gamma.isDouble())
            return {std::nullopt, QStringLiteral("the field \"gamma\" is missing")};
        p.gamma = gamma.toDouble();
    } else if (curve == QLatin1String("points")) {
        p.curve = DwellCurve::Points;
        const QJsonValue points = o.value(QStringLiteral("points"));
        if (!points.isArray())
            return {std::nullopt, QStringLiteral("the field \"points\" is missing")};
        // NOTE: the count is checked before the points are copied, so a huge list costs nothing.
        if (points.toArray().size() > kMaxCurvePoints)
            return {std::nullopt, QStringLiteral("a curve needs 2-%1 points").arg(kMaxCurvePoints)};
        for (const QJsonValue& item : points.toArray()) {
            const QJsonArray pair = item.toArray();
            if (!item.isArray() || pair.size() != 2 || !pair[0].isDouble() || !pair[1].isDouble() ||
                pair[0].toDouble() != std::floor(pair[0].toDouble()) ||
                pair[1].toDouble() != std::floor(pair[1].toDouble()) ||
                std::abs(pair[0].toDouble()) > 1e6 || std::abs(pair[1].toDouble()) > 1e6)
                return {std::nullopt,
                        QStringLiteral("a curve point must be [level, percent] in whole numbers")};
            p.points.push_back({pair[0].toInt(), pair[1].toInt()});
        }
    } else if (o.contains(QStringLiteral("curve"))) {
        return {std::nullopt, QStringLiteral("the curve %1 is unknown").arg(quoted(curve))};
    } else {
        return {std::nullopt, QStringLiteral("the field \"curve\" is missing")};
    }
    p.note = o.value(QStringLiteral("note")).toString();
    if (const std::optional<QString> problem = checkProfile(p)) return {std::nullopt, *problem};
    return {p, {}};
}

ProfileRead readProfileFile(const QString& path) {
    const auto fail = [&path](const QString& why) {
        return ProfileRead{
            std::nullopt,
            QStringLiteral("The material profile %1 cannot be used: %2.").arg(path, why)};
    };
    // NOTE: a FIFO or a device would block the open or the read; only a plain file is a profile.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) return fail(QStringLiteral("it is not a plain file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return fail(file.errorString());
    if (file.size() > kMaxFileBytes)
        return fail(QStringLiteral("it is too large to be a material profile"));
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError) return fail(file.errorString());
    if (bytes.size() > kMaxFileBytes)
        return fail(QStringLiteral("it is too large to be a material profile"));
    ProfileRead read = profileFromJson(bytes);
    if (!read.profile) return fail(read.error);
    return read;
}

std::optional<QString> writeProfileFile(const MaterialProfile& profile, const QString& path) {
    const auto fail = [&path](const QString& why) {
        return QStringLiteral("The material profile could not be saved as %1: %2.").arg(path, why);
    };
    if (const std::optional<QString> problem = checkProfile(profile)) return fail(*problem);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return fail(file.errorString());
    const QByteArray json = profileToJson(profile);
    if (file.write(json) != json.size()) return fail(file.errorString());
    if (!file.commit()) return fail(file.errorString());
    return std::nullopt;
}

MaterialLibrary::MaterialLibrary(QString folder)
    : folder_(std::move(folder)), current_(asDesigned()), dwells_(dwellTable(current_)) {}

QString MaterialLibrary::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/materials");
}

QStringList MaterialLibrary::names() const {
    QStringList saved;
    const QDir dir(folder_);
    for (const QString& file : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        const ProfileRead read = readProfileFile(dir.filePath(file));
        if (read.profile && !saved.contains(read.profile->name)) saved.append(read.profile->name);
    }
    saved.sort(Qt::CaseInsensitive);
    saved.removeAll(asDesigned().name);
    saved.prepend(asDesigned().name);
    return saved;
}

QString MaterialLibrary::fileOf(const QString& name) const {
    const QDir dir(folder_);
    for (const QString& file : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
        const ProfileRead read = readProfileFile(dir.filePath(file));
        if (read.profile && read.profile->name == name) return dir.filePath(file);
    }
    return {};
}

QString MaterialLibrary::newFileFor(const QString& name) const {
    // A plain file name from the profile's name: letters and digits, the rest as '-'.
    QString stem;
    for (const QChar c : name.toLower()) {
        const bool plain = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                           (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
        if (plain) {
            stem += c;
        } else if (!stem.endsWith(QLatin1Char('-'))) {
            stem += QLatin1Char('-');
        }
    }
    while (stem.startsWith(QLatin1Char('-'))) stem.remove(0, 1);
    while (stem.endsWith(QLatin1Char('-'))) stem.chop(1);
    if (stem.isEmpty()) stem = QStringLiteral("material");
    const QDir dir(folder_);
    QString file = stem + QStringLiteral(".json");
    for (int n = 2; dir.exists(file); ++n) file = stem + QStringLiteral("-%1.json").arg(n);
    return dir.filePath(file);
}

std::optional<MaterialProfile> MaterialLibrary::find(const QString& name) const {
    if (name == asDesigned().name) return asDesigned();
    const QString file = fileOf(name);
    if (file.isEmpty()) return std::nullopt;
    return readProfileFile(file).profile;
}

void MaterialLibrary::putInForce(const MaterialProfile& profile) {
    current_ = profile;
    dwells_ = dwellTable(profile);
}

std::optional<QString> MaterialLibrary::choose(const QString& name) {
    const std::optional<MaterialProfile> profile = find(name);
    if (!profile) return QStringLiteral("There is no material profile %1.").arg(quoted(name));
    putInForce(*profile);
    return std::nullopt;
}

std::optional<QString> MaterialLibrary::useFile(const QString& path) {
    const ProfileRead read = readProfileFile(path);
    if (!read.profile) return read.error;
    putInForce(*read.profile);
    return std::nullopt;
}

std::optional<QString> MaterialLibrary::save(const MaterialProfile& profile) {
    if (profile.name == asDesigned().name)
        return QStringLiteral(
                   "The profile %1 is built in and cannot be replaced; give the new "
                   "profile a name of its own.")
            .arg(quoted(profile.name));
    if (const std::optional<QString> problem = checkProfile(profile))
        return QStringLiteral("The material profile cannot be saved: %1.").arg(*problem);
    if (!QDir().mkpath(folder_))
        return QStringLiteral("The folder %1 for material profiles could not be made.")
            .arg(folder_);
    QString file = fileOf(profile.name);
    if (file.isEmpty()) file = newFileFor(profile.name);
    if (std::optional<QString> error = writeProfileFile(profile, file)) return error;
    putInForce(profile);
    return std::nullopt;
}

std::optional<QString> MaterialLibrary::remove(const QString& name) {
    if (name == asDesigned().name)
        return QStringLiteral("The profile %1 is built in and cannot be deleted.")
            .arg(quoted(name));
    const QString file = fileOf(name);
    if (file.isEmpty()) return QStringLiteral("There is no material profile %1.").arg(quoted(name));
    if (!QFile::remove(file))
        return QStringLiteral("The material profile file %1 could not be deleted.").arg(file);
    if (current_.name == name) putInForce(asDesigned());
    return std::nullopt;
}

std::optional<QString> MaterialLibrary::exportTo(const QString& name, const QString& path) const {
    const std::optional<MaterialProfile> profile = find(name);
    if (!profile) return QStringLiteral("There is no material profile %1.").arg(quoted(name));
    return writeProfileFile(*profile, path);
}

std::optional<QString> MaterialLibrary::importFrom(const QString& path) {
    const ProfileRead read = readProfileFile(path);
    if (!read.profile) return read.error;
    return save(*read.profile);
}

}  // namespace ostrel::picture

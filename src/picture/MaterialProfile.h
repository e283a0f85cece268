// Material profiles: the dwell each grey level gets on one material, and their files.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace ostrel::picture {

// How the dwells run from the longest (level 0, black) to the shortest (level 255, white).
enum class DwellCurve {
    Designed,  // the designed table's staircase, stretched over shortest..longest
    Gamma,     // shortest + (longest - shortest) * darkness^gamma, darkness = (255 - level) / 255
    Points,    // straight lines between a few (level, percent of the way to longest) points
};

struct CurvePoint {
    int level = 0;    // 0..255, strictly rising from point to point
    int percent = 0;  // 0: the shortest dwell, 100: the longest
    bool operator==(const CurvePoint&) const = default;
};

// NOTE: the default values are the profile "As designed": with them every level gets exactly
// the designed table's dwell.
struct MaterialProfile {
    QString name = QStringLiteral("As designed");
    int shortestMs = 13;
    int longestMs = 100;
    DwellCurve curve = DwellCurve::Designed;
    double gamma = 1.0;              // Gamma curve only
    std::vector<CurvePoint> points;  // Points curve only
    int whiteCutoff = 255;           // levels above it are not burned (0 ms); 255: none
    QString note;                    // free text for the operator (material, lens, date)

    bool operator==(const MaterialProfile&) const = default;
};

inline constexpr int kMinDwellMs = 1;
inline constexpr int kMaxDwellMs = 1000;
inline constexpr int kMaxCurvePoints = 16;
inline constexpr int kMaxNameLength = 64;
inline constexpr int kProfileVersion = 1;

using DwellTable = std::array<uint16_t, 256>;

// The profile every job uses until the operator chooses another.
MaterialProfile asDesigned();

// Why the profile cannot be used, or nothing if it can.
std::optional<QString> checkProfile(const MaterialProfile& profile);

// The dwell in ms of every grey level, 0 for the levels above the white cut-off. A profile
// that fails checkProfile gives the designed dwells.
DwellTable dwellTable(const MaterialProfile& profile);

// The outcome of reading a profile: the profile, or the reason it cannot be used.
struct ProfileRead {
    std::optional<MaterialProfile> profile;
    QString error;
};

// A profile file is a JSON object with a format tag and a version; see docs/materials.md.
QByteArray profileToJson(const MaterialProfile& profile);
ProfileRead profileFromJson(const QByteArray& json);
// The same object, to be carried inside other JSON (a job's settings).
QJsonObject profileToJsonObject(const MaterialProfile& profile);
ProfileRead profileFromJsonObject(const QJsonObject& object);

// Reads and checks a profile file; the error names the file.
ProfileRead readProfileFile(const QString& path);
// Writes a profile file in one piece (never half a file); the result is the error, if any.
std::optional<QString> writeProfileFile(const MaterialProfile& profile, const QString& path);

// The profiles the operator has saved, one file each in a folder, and the one in force. A
// profile that cannot be used never replaces the one in force.
class MaterialLibrary {
  public:
    // The folder holds the profile files; it is made when the first profile is saved.
    explicit MaterialLibrary(QString folder = defaultFolder());
    // "materials" in the user's data folder.
    static QString defaultFolder();

    const QString& folder() const { return folder_; }
    const MaterialProfile& current() const { return current_; }
    const DwellTable& currentDwells() const { return dwells_; }

    // "As designed" first, then the saved profiles by name. Files that cannot be read are left
    // out of the list; choosing them by name is not possible.
    QStringList names() const;
    // Makes the named profile the one in force; the error says why not.
    std::optional<QString> choose(const QString& name);
    // Makes the profile in a file anywhere the one in force, without saving it in the folder.
    std::optional<QString> useFile(const QString& path);
    // Saves a profile in the folder (replacing one of the same name) and puts it in force.
    std::optional<QString> save(const MaterialProfile& profile);
    // Deletes a saved profile; "As designed" is put in force if it was the one in force.
    std::optional<QString> remove(const QString& name);
    // Writes the named profile to a file of the operator's choosing.
    std::optional<QString> exportTo(const QString& name, const QString& path) const;
    // Checks a profile file, saves it in the folder under its own name and puts it in force.
    std::optional<QString> importFrom(const QString& path);

  private:
    // The file in the folder that holds the named profile, or an empty text.
    QString fileOf(const QString& name) const;
    // The file a new profile of this name is saved in.
    QString newFileFor(const QString& name) const;
    std::optional<MaterialProfile> find(const QString& name) const;
    void putInForce(const MaterialProfile& profile);

    QString folder_;
    MaterialProfile current_;
    DwellTable dwells_;
};

}  // namespace ostrel::picture

// Parsing the options of `ostrel simulate`; their ranges are the job's own (simulation::checkSpec).
#include "app/SimulationCommandLine.h"

#include <QCommandLineParser>
#include <QStringList>
#include <cctype>
#include <charconv>
#include <cmath>
#include <ostream>
#include <string_view>

#include "app/CommandLine.h"
#include "app/Inputs.h"
#include "picture/Dither.h"
#include "picture/Tone.h"

namespace ostrel::app {

namespace {

constexpr const char* kUsage =
    "ostrel simulate --picture FILE [--mode coarse|precise] [--sensitivity N]\n"
    "                       [--hologram] [--size WxH] [--resume JOURNAL] [options]\n"
    "       ostrel simulate --card [--material FILE] [--card-picture OUT.png] [options]\n"
    "       ostrel simulate --frame WxH [--auto-laser] [options]";

constexpr const char* kDescription =
    "Runs a whole job headless in virtual time on the simulated engraver, as an operator\n"
    "would: homes X and Y, sets the job up, loads the picture, presses Run and waits for\n"
    "the end; then prints the job time, dots, laser-on time, lost steps, stalls, wiring\n"
    "faults, the final counters and the X drift found at the home switch.";

constexpr const char* kExitText =
    "\nThe burn picture is written in the format its name ends in (.png, .bmp, .jpg,\n"
    ".jpeg, .ppm); a name without one gets PNG.\n"
    "\nExit status: 0 the job ended; 1 it was still running after a day of machine\n"
    "time; 2 bad options, or a picture or output file that cannot be used or written,\n"
    "or a journal that cannot be resumed with the job's options (the reason is given).\n";

bool toInt(std::string_view s, int& out) {
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size();
}

bool toNumber(std::string_view s, double& out) {
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && ec == std::errc() && end == s.data() + s.size() && std::isfinite(out);
}

// "AxB" (sep 'x') or "A,B" (sep ',') with two whole numbers or two numbers.
bool toPair(std::string_view s, char sep, int& a, int& b) {
    const size_t at = s.find(sep);
    return at != std::string_view::npos && toInt(s.substr(0, at), a) && toInt(s.substr(at + 1), b);
}
bool toPair(std::string_view s, char sep, double& a, double& b) {
    const size_t at = s.find(sep);
    return at != std::string_view::npos && toNumber(s.substr(0, at), a) &&
           toNumber(s.substr(at + 1), b);
}

// The picture formats a burn picture may be written in, by the suffix of its name.
const char* burnFormat(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "png";
    std::string suffix = path.substr(dot + 1);
    for (char& c : suffix) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* f : {"png", "bmp", "jpg", "jpeg", "ppm"}) {
        if (suffix == f) return f;
    }
    return nullptr;
}

}  // namespace

std::optional<SimulateCommand> parseSimulateCommandLine(int argc, char** argv, int& exitCode,
                                                        std::ostream& out, std::ostream& err) {
    exitCode = kUsageError;
    auto fail = [&err](const std::string& message) {
        err << "ostrel simulate: " << message << "\nTry 'ostrel simulate --help'.\n";
        return std::nullopt;
    };

    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    const QCommandLineOption picture("picture", "Burn this picture (JPEG, GIF, BMP or PNG).",
                                     "FILE");
    const QCommandLineOption frame("frame",
                                   "Cut a frame of W x H pixels (15-127 x 15-103) instead.", "WxH");
    const QCommandLineOption mode("mode", "Coarse-Burning (the default) or Precise-Burning.",
                                  "coarse|precise");
    const QCommandLineOption sensitivity("sensitivity",
                                         "Coarse-Burning sensitivity, 0-254 (default 100).", "N");
    const QCommandLineOption hologram("hologram", "Switch \"Hologram-Efect\" on.");
    const QCommandLineOption size(
        "size", "The picture's raster in pixels, 15-127 x 15-103 (default 127x103).", "WxH");
    const QCommandLineOption stepMs("step-ms", "Step period in ms, 1-65535 (default 10).", "N");
    const QCommandLineOption head(
        "head", "Where the head stands at power-on, in full steps (default 0,0).", "X,Y");
    const QCommandLineOption rotor(
        "rotor",
        "The motors' rotor angles at power-on, 0-7 each (default 0,0): with --head, a machine "
        "as an interrupted job left it.",
        "AX,AY");
    const QCommandLineOption autoLaser("auto-laser",
                                       "Frame: switch the laser to Auto, so the outline is "
                                       "burned.");
    const QCommandLineOption yStepScale(
        "y-step-scale", "Burn picture: X full steps per Y full step, 1-64 (default 4).", "N");
    const QCommandLineOption material(
        "material", "Precise-Burning dwells from this material profile file.", "FILE");
    const QCommandLineOption dither("dither",
                                    "Coarse-Burning mask: threshold (the default), "
                                    "floyd-steinberg, atkinson, jarvis, stucki, bayer4 or bayer8.",
                                    "NAME");
    const QCommandLineOption brightness("brightness", "Tone: -100 to 100 (default 0).", "N");
    const QCommandLineOption contrast("contrast", "Tone: -100 to 100 (default 0).", "N");
    const QCommandLineOption gamma("gamma", "Tone: 0.1 to 10 (default 1).", "G");
    const QCommandLineOption invert("invert", "Tone: burn the negative.");
    const QCommandLineOption card(
        "card",
        "Burn the calibration card of the material instead of a picture (Precise-Burning).");
    const QCommandLineOption cardPicture(
        "card-picture", "With --card: write the card as a picture as well.", "OUT.png");
    const QCommandLineOption burn("burn", "Write the work piece as the laser leaves it.",
                                  "OUT.png");
    const QCommandLineOption trace("trace", "Write every port write as CSV (t_ms,op,port,value).",
                                   "OUT.csv");
    const QCommandLineOption json("json", "Print the summary as one JSON object.");
    const QCommandLineOption resume(
        "resume",
        "Resume the interrupted job of this journal instead of pressing Run; give the job's "
        "options as they were. The journal itself is only read.",
        "JOURNAL");
    const QList<QCommandLineOption> all = {
        picture,  frame,  mode,         sensitivity,    hologram,    size,   stepMs,
        head,     rotor,  autoLaser,    yStepScale,     material,    dither, brightness,
        contrast, gamma,  invert,       card,           cardPicture, burn,   trace,
        json,     resume, helpOption(), versionOption()};
    parser.addOptions(all);

    // argv[1] is the subcommand itself.
    if (!parser.parse(toArguments(argc, argv, 2))) {
        // Qt's texts name options without their dashes; ours as they are typed.
        if (!parser.unknownOptionNames().isEmpty()) {
            const QString name = parser.unknownOptionNames().first();
            return fail("unknown option '" + std::string(name.size() > 1 ? "--" : "-") +
                        shown(name.toStdString()) + "'");
        }
        for (const QCommandLineOption& o : all) {
            const QString name = o.names().last();
            if (!o.valueName().isEmpty() && parser.errorText().contains("'--" + name + "'")) {
                return fail("--" + name.toStdString() + " needs " + o.valueName().toStdString());
            }
        }
        return fail(shown(parser.errorText().toStdString()));
    }
    if (parser.isSet(helpOption())) {
        out << fullHelp(parser, kUsage, kExitText);
        exitCode = 0;
        return std::nullopt;
    }
    if (parser.isSet(versionOption())) {
        out << versionText() << '\n';
        exitCode = 0;
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        double y = 0;
        if (parser.isSet(head) && toNumber(parser.positionalArguments().first().toStdString(), y)) {
            return fail("--head takes X,Y as one word, e.g. --head 30,12");
        }
        return fail("unexpected argument '" +
                    shown(parser.positionalArguments().first().toStdString()) + "'");
    }
    // Each option at most once: a second value would silently win over the first.
    const QStringList given = parser.optionNames();
    for (const QCommandLineOption& o : all) {
        qsizetype times = 0;
        for (const QString& name : o.names()) times += given.count(name);
        if (times > 1) return fail("--" + o.names().last().toStdString() + " given twice");
    }
    auto text = [&parser](const QCommandLineOption& o) { return parser.value(o).toStdString(); };

    SimulateCommand command;
    simulation::JobSpec& spec = command.spec;
    command.card = parser.isSet(card);
    if (int(parser.isSet(picture)) + int(parser.isSet(frame)) + int(command.card) != 1) {
        return fail("give either --picture FILE or --frame WxH (or --card)");
    }
    if (command.card) {
        // NOTE: the card's patches are levels for Precise-Burning; its size is the card's own,
        // set when it is made.
        spec.kind = simulation::JobKind::Picture;
        spec.coarse = false;
        for (const QCommandLineOption* notOnCard : {&mode, &sensitivity, &size, &dither}) {
            if (parser.isSet(*notOnCard)) {
                return fail("--" + notOnCard->names().last().toStdString() +
                            " does not act on the calibration card");
            }
        }
        if (parser.isSet(autoLaser)) return fail("--auto-laser acts on a frame job only");
    } else if (parser.isSet(picture)) {
        spec.kind = simulation::JobKind::Picture;
        spec.picturePath = rawArgument(argc, argv, 2, parser.value(picture));
        if (spec.picturePath.empty()) return fail("--picture needs a file name");
        if (parser.isSet(autoLaser)) return fail("--auto-laser acts on a frame job only");
    } else {
        spec.kind = simulation::JobKind::Frame;
        if (!toPair(text(frame), 'x', spec.width, spec.height)) {
            return fail("--frame takes WxH, e.g. 127x103, not '" + shown(text(frame)) + "'");
        }
        for (const QCommandLineOption* pictureOnly :
             {&size, &mode, &sensitivity, &hologram, &material, &dither, &brightness, &contrast,
              &gamma, &invert, &resume}) {
            if (parser.isSet(*pictureOnly)) {
                return fail("--" + pictureOnly->names().last().toStdString() +
                            " acts on a picture job only");
            }
        }
        spec.autoLaser = parser.isSet(autoLaser);
    }
    if (parser.isSet(size) && !toPair(text(size), 'x', spec.width, spec.height)) {
        return fail("--size takes WxH, e.g. 127x103, not '" + shown(text(size)) + "'");
    }
    if (parser.isSet(mode)) {
        if (text(mode) != "coarse" && text(mode) != "precise") {
            return fail("--mode takes coarse or precise, not '" + shown(text(mode)) + "'");
        }
        spec.coarse = text(mode) == "coarse";
    }
    if (parser.isSet(sensitivity) && !toInt(text(sensitivity), spec.sensitivity)) {
        return fail("--sensitivity takes a whole number 0-254, not '" + shown(text(sensitivity)) +
                    "'");
    }
    spec.hologram = parser.isSet(hologram);
    if (parser.isSet(stepMs)) {
        int ms = 0;
        if (!toInt(text(stepMs), ms)) {
            return fail("--step-ms takes a whole number of 1-65535 ms, not '" +
                        shown(text(stepMs)) + "'");
        }
        spec.stepMs = std::to_string(ms);
    }
    if (parser.isSet(head) && !toPair(text(head), ',', spec.machine.headX, spec.machine.headY)) {
        return fail("--head takes X,Y in full steps from the switches, e.g. 30,12, not '" +
                    shown(text(head)) + "'");
    }
    if (parser.isSet(rotor) &&
        !toPair(text(rotor), ',', spec.machine.rotorX, spec.machine.rotorY)) {
        return fail("--rotor takes AX,AY, two angles 0-7, e.g. 6,2, not '" + shown(text(rotor)) +
                    "'");
    }
    if (parser.isSet(yStepScale) && !toInt(text(yStepScale), spec.yStepScale)) {
        return fail("--y-step-scale takes a whole number 1-64, not '" + shown(text(yStepScale)) +
                    "'");
    }
    if (parser.isSet(burn)) {
        command.burnPath = rawArgument(argc, argv, 2, parser.value(burn));
        if (command.burnPath.empty()) return fail("--burn needs a file name");
        command.burnFormat = burnFormat(command.burnPath) ? burnFormat(command.burnPath) : "";
        if (command.burnFormat.empty()) {
            return fail("--burn " + shown(command.burnPath) +
                        ": name a .png, .bmp, .jpg, .jpeg or .ppm file (the picture is written "
                        "in the format its name ends in)");
        }
    }
    if (parser.isSet(trace)) {
        spec.tracePath = rawArgument(argc, argv, 2, parser.value(trace));
        if (spec.tracePath.empty()) return fail("--trace needs a file name");
    }
    picture::PictureSettings& settings = spec.pictureSettings;
    if (parser.isSet(dither)) {
        const std::optional<picture::DitherMethod> method = picture::ditherFromName(text(dither));
        if (!method) {
            return fail(
                "--dither takes threshold, floyd-steinberg, atkinson, jarvis, stucki, bayer4 or "
                "bayer8, not '" +
                shown(text(dither)) + "'");
        }
        settings.dither = *method;
    }
    for (auto [option, field] : {std::pair{&brightness, &picture::ToneSettings::brightness},
                                 std::pair{&contrast, &picture::ToneSettings::contrast}}) {
        if (parser.isSet(*option) && !toInt(text(*option), settings.tone.*field)) {
            return fail("--" + option->names().last().toStdString() +
                        " takes a whole number -100 to 100, not '" + shown(text(*option)) + "'");
        }
    }
    if (parser.isSet(gamma) && !toNumber(text(gamma), settings.tone.gamma)) {
        return fail("--gamma takes a number 0.1 to 10, not '" + shown(text(gamma)) + "'");
    }
    settings.tone.invert = parser.isSet(invert);
    if (parser.isSet(material)) {
        command.materialPath = rawArgument(argc, argv, 2, parser.value(material));
        if (command.materialPath.empty()) return fail("--material needs a file name");
    }
    if (parser.isSet(cardPicture)) {
        if (!command.card) return fail("--card-picture acts with --card only");
        command.cardPicturePath = rawArgument(argc, argv, 2, parser.value(cardPicture));
        if (command.cardPicturePath.empty()) return fail("--card-picture needs a file name");
    }
    command.json = parser.isSet(json);
    if (parser.isSet(resume)) {
        spec.resumeJournal = rawArgument(argc, argv, 2, parser.value(resume));
        if (spec.resumeJournal.empty()) return fail("--resume needs a journal file name");
    }

    // NOTE: the card's picture is made when the command runs; until then it is checked as a
    // job without a picture file.
    simulation::JobSpec checked = spec;
    if (command.card) {
        checked.kind = simulation::JobKind::Frame;
        checked.resumeJournal.clear();  // checked as the card job runs
    }
    if (const std::string why = simulation::checkSpec(checked); !why.empty())
        return fail(shown(why, 400));
    std::vector<NamedPath> inputs;
    if (spec.kind == simulation::JobKind::Picture && !command.card)
        inputs.push_back({"the picture", spec.picturePath});
    if (!command.materialPath.empty()) inputs.push_back({"--material", command.materialPath});
    if (!spec.resumeJournal.empty()) inputs.push_back({"--resume", spec.resumeJournal});
    std::vector<NamedPath> outputs;
    if (!command.burnPath.empty()) outputs.push_back({"--burn", command.burnPath});
    if (!command.cardPicturePath.empty())
        outputs.push_back({"--card-picture", command.cardPicturePath});
    if (!spec.tracePath.empty()) outputs.push_back({"--trace", spec.tracePath});
    if (const std::string why = checkOutputs(inputs, outputs); !why.empty()) return fail(why);

    exitCode = 0;
    return command;
}

}  // namespace ostrel::app

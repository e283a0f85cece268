// Parsing and checking the options of `ostrel simulate`.
#include "app/SimulationCommandLine.h"

#include <charconv>
#include <cmath>
#include <map>
#include <ostream>
#include <string_view>
#include <vector>

#include "app/CommandLine.h"

namespace ostrel::app {

namespace {

struct OptionInfo {
    std::string_view name;
    int values;  // words that follow it
    std::string_view argument;
    std::string_view help;
};

constexpr OptionInfo kOptions[] = {
    {"--picture", 1, "FILE", "Burn this picture (JPEG, GIF, BMP or PNG)."},
    {"--frame", 1, "WxH", "Cut a frame of W x H pixels (15-127 x 15-103) instead."},
    {"--mode", 1, "coarse|precise", "Coarse-Burning (the default) or Precise-Burning."},
    {"--sensitivity", 1, "N", "Coarse-Burning sensitivity, 0-254 (default 100)."},
    {"--hologram", 0, "", "Switch \"Hologram-Efect\" on."},
    {"--size", 1, "WxH", "The picture's raster in pixels, 15-127 x 15-103 (default 127x103)."},
    {"--step-ms", 1, "N", "Step period in ms, 1-65535 (default 10)."},
    {"--head", 2, "X Y", "Where the head stands at power-on, in full steps (default 0 0)."},
    {"--auto-laser", 0, "", "Frame: switch the laser to Auto, so the outline is burned."},
    {"--y-step-scale", 1, "N", "Burn picture: X full steps per Y full step, 1-64 (default 4)."},
    {"--material", 1, "FILE", "Precise-Burning dwells from this material profile file."},
    {"--dither", 1, "NAME",
     "Coarse-Burning mask: threshold (the default), floyd-steinberg, atkinson, jarvis, stucki,"
     " bayer4 or bayer8."},
    {"--brightness", 1, "N", "Tone: -100 to 100 (default 0)."},
    {"--contrast", 1, "N", "Tone: -100 to 100 (default 0)."},
    {"--gamma", 1, "G", "Tone: 0.1 to 10 (default 1)."},
    {"--invert", 0, "", "Tone: burn the negative."},
    {"--card", 0, "",
     "Burn the calibration card of the material instead of a picture (Precise-Burning)."},
    {"--card-picture", 1, "OUT.png", "With --card: write the card as a picture as well."},
    {"--burn", 1, "OUT.png", "Write the work piece as the laser leaves it."},
    {"--trace", 1, "OUT.csv", "Write every port write as CSV (t_ms,op,port,value)."},
    {"--json", 0, "", "Print the summary as one JSON object."},
    {"--help", 0, "", "Show this help and exit."},
};

const OptionInfo* findOption(std::string_view name) {
    for (const OptionInfo& o : kOptions) {
        if (o.name == name) return &o;
    }
    return nullptr;
}

std::string helpText() {
    std::string text =
        "Usage: ostrel simulate --picture FILE [--mode coarse|precise] [--sensitivity N]\n"
        "                       [--hologram] [--size WxH] [options]\n"
        "       ostrel simulate --card [--material FILE] [--card-picture OUT.png] [options]\n"
        "       ostrel simulate --frame WxH [--auto-laser] [options]\n"
        "Runs a whole job headless in virtual time on the simulated engraver, as an operator\n"
        "would: homes X and Y, sets the job up, loads the picture, presses Run and waits for\n"
        "the end; then prints the job time, dots, laser-on time, lost steps, stalls, wiring\n"
        "faults, the final counters and the X drift found at the home switch.\n\nOptions:\n";
    for (const OptionInfo& o : kOptions) {
        std::string left = "  ";
        left += o.name;
        if (!o.argument.empty()) {
            left += ' ';
            left += o.argument;
        }
        left.resize(std::max<size_t>(left.size() + 1, 30), ' ');
        text += left + std::string(o.help) + "\n";
    }
    return text +
           "\nExit status: 0 the job ended; 1 it was still running after a day of machine\n"
           "time; 2 bad options, or a picture or output file that cannot be used.\n";
}

bool toInt(std::string_view s, int& out) {
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size();
}

bool toNumber(std::string_view s, double& out) {
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && end == s.data() + s.size() && std::isfinite(out);
}

// "WxH" with whole numbers.
bool toSize(std::string_view s, int& w, int& h) {
    const size_t x = s.find('x');
    return x != std::string_view::npos && toInt(s.substr(0, x), w) && toInt(s.substr(x + 1), h);
}

class Checker {
  public:
    explicit Checker(std::ostream& err) : err_(err) {}
    bool fail(const std::string& message) {
        if (ok_) err_ << "ostrel simulate: " << message << "\nTry 'ostrel simulate --help'.\n";
        ok_ = false;
        return false;
    }
    bool ok() const { return ok_; }

  private:
    std::ostream& err_;
    bool ok_ = true;
};

}  // namespace

std::optional<SimulateCommand> parseSimulateCommandLine(int argc, char** argv, int& exitCode,
                                                        std::ostream& out, std::ostream& err) {
    exitCode = 0;
    Checker check(err);
    // Each option at most once, with its words.
    std::map<std::string, std::vector<std::string>> given;
    for (int i = 2; i < argc && check.ok(); ++i) {
        std::string word = argv[i];
        if (word == "-h") word = "--help";
        std::vector<std::string> values;
        const size_t eq = word.find('=');
        if (word.rfind("--", 0) == 0 && eq != std::string::npos) {
            values.push_back(word.substr(eq + 1));
            word.resize(eq);
        }
        const OptionInfo* option = findOption(word);
        if (!option) {
            check.fail(word.rfind("-", 0) == 0 ? "unknown option '" + word + "'"
                                               : "unexpected argument '" + word + "'");
            break;
        }
        if (option->values == 0 && !values.empty()) {
            check.fail(word + " takes no value");
            break;
        }
        if (!values.empty() && option->values > 1) {
            check.fail(word + " takes " + std::string(option->argument) + " as separate words");
            break;
        }
        while (static_cast<int>(values.size()) < option->values) {
            if (++i >= argc) {
                check.fail(word + " needs " + std::string(option->argument));
                break;
            }
            values.emplace_back(argv[i]);
        }
        if (!given.emplace(word, values).second) check.fail(word + " given twice");
    }
    if (!check.ok()) {
        exitCode = kUsageError;
        return std::nullopt;
    }
    if (given.count("--help")) {
        out << helpText();
        return std::nullopt;
    }

    SimulateCommand command;
    simulation::JobSpec& spec = command.spec;
    auto has = [&](const char* name) { return given.count(name) != 0; };
    auto value = [&](const char* name, size_t i = 0) { return given.at(name).at(i); };

    command.card = has("--card");
    if (int(has("--picture")) + int(has("--frame")) + int(command.card) != 1) {
        check.fail("give either --picture FILE or --frame WxH (or --card)");
    } else if (has("--picture") || command.card) {
        spec.kind = simulation::JobKind::Picture;
        if (command.card) {
            // NOTE: the card's patches are levels for Precise-Burning; the size is the card's
            // own, set when it is made.
            spec.coarse = false;
            for (const char* notOnCard : {"--mode", "--sensitivity", "--size", "--dither"}) {
                if (has(notOnCard))
                    check.fail(std::string(notOnCard) + " does not act on the calibration card");
            }
        } else {
            spec.picturePath = value("--picture");
            if (spec.picturePath.empty()) check.fail("--picture needs a file name");
        }
        if (has("--auto-laser")) check.fail("--auto-laser acts on a frame job only");
    } else {
        spec.kind = simulation::JobKind::Frame;
        if (!toSize(value("--frame"), spec.width, spec.height)) {
            check.fail("--frame takes WxH, e.g. 127x103, not '" + value("--frame") + "'");
        }
        for (const char* pictureOnly :
             {"--size", "--mode", "--sensitivity", "--hologram", "--material", "--dither",
              "--brightness", "--contrast", "--gamma", "--invert"}) {
            if (has(pictureOnly))
                check.fail(std::string(pictureOnly) + " acts on a picture job only");
        }
        spec.autoLaser = has("--auto-laser");
    }
    if (has("--size") && !toSize(value("--size"), spec.width, spec.height)) {
        check.fail("--size takes WxH, e.g. 127x103, not '" + value("--size") + "'");
    }
    if (check.ok() &&
        (spec.width < simulation::kSmallestRaster || spec.width > simulation::kLargestRasterWidth ||
         spec.height < simulation::kSmallestRaster ||
         spec.height > simulation::kLargestRasterHeight)) {
        check.fail("the size " + std::to_string(spec.width) + "x" + std::to_string(spec.height) +
                   " is outside 15-127 x 15-103 pixels");
    }
    if (has("--mode")) {
        const std::string mode = value("--mode");
        if (mode != "coarse" && mode != "precise") {
            check.fail("--mode takes coarse or precise, not '" + mode + "'");
        }
        spec.coarse = mode == "coarse";
    }
    if (has("--sensitivity") && (!toInt(value("--sensitivity"), spec.sensitivity) ||
                                 spec.sensitivity < 0 || spec.sensitivity > 254)) {
        check.fail("--sensitivity takes a whole number 0-254, not '" + value("--sensitivity") +
                   "'");
    }
    spec.hologram = has("--hologram");
    if (has("--step-ms")) {
        int ms = 0;
        if (!toInt(value("--step-ms"), ms) || ms < 1 || ms > 65535) {
            check.fail("--step-ms takes a whole number of 1-65535 ms, not '" + value("--step-ms") +
                       "'");
        }
        spec.stepMs = std::to_string(ms);
    }
    if (has("--head")) {
        const machine::SimConfig& m = spec.machine;
        double x = 0, y = 0;
        if (!toNumber(value("--head", 0), x) || !toNumber(value("--head", 1), y)) {
            check.fail("--head takes two numbers of full steps, not '" + value("--head", 0) + " " +
                       value("--head", 1) + "'");
        } else if (x < m.xStopMin || x > m.xStopMax || y < m.yStopMin || y > m.yStopMax) {
            check.fail("--head " + value("--head", 0) + " " + value("--head", 1) +
                       " is beyond the mechanical stops (X " + std::to_string(m.xStopMin) + " to " +
                       std::to_string(m.xStopMax) + ", Y " + std::to_string(m.yStopMin) + " to " +
                       std::to_string(m.yStopMax) + ")");
        }
        spec.machine.headX = x;
        spec.machine.headY = y;
    }
    if (has("--y-step-scale") && (!toInt(value("--y-step-scale"), spec.yStepScale) ||
                                  spec.yStepScale < 1 || spec.yStepScale > 64)) {
        check.fail("--y-step-scale takes a whole number 1-64, not '" + value("--y-step-scale") +
                   "'");
    }
    picture::PictureSettings& settings = spec.pictureSettings;
    if (has("--dither")) {
        const std::optional<picture::DitherMethod> method =
            picture::ditherFromName(value("--dither"));
        if (!method) {
            check.fail(
                "--dither takes threshold, floyd-steinberg, atkinson, jarvis, stucki, "
                "bayer4 or bayer8, not '" +
                value("--dither") + "'");
        } else {
            settings.dither = *method;
        }
    }
    for (auto [name, field] : {std::pair{"--brightness", &picture::ToneSettings::brightness},
                               std::pair{"--contrast", &picture::ToneSettings::contrast}}) {
        if (has(name) && (!toInt(value(name), settings.tone.*field) ||
                          settings.tone.*field < -picture::kToneLimit ||
                          settings.tone.*field > picture::kToneLimit)) {
            check.fail(std::string(name) + " takes a whole number -100 to 100, not '" +
                       value(name) + "'");
        }
    }
    if (has("--gamma") &&
        (!toNumber(value("--gamma"), settings.tone.gamma) ||
         settings.tone.gamma < picture::kGammaMin || settings.tone.gamma > picture::kGammaMax)) {
        check.fail("--gamma takes a number 0.1 to 10, not '" + value("--gamma") + "'");
    }
    settings.tone.invert = has("--invert");
    if (has("--material")) {
        command.materialPath = value("--material");
        if (command.materialPath.empty()) check.fail("--material needs a file name");
    }
    if (has("--card-picture")) {
        if (!command.card) check.fail("--card-picture acts with --card only");
        command.cardPicturePath = value("--card-picture");
        if (command.cardPicturePath.empty()) check.fail("--card-picture needs a file name");
    }
    for (const char* file : {"--burn", "--trace"}) {
        if (has(file) && value(file).empty()) check.fail(std::string(file) + " needs a file name");
    }
    if (has("--burn")) command.burnPath = value("--burn");
    if (has("--trace")) spec.tracePath = value("--trace");
    command.json = has("--json");

    if (!check.ok()) {
        exitCode = kUsageError;
        return std::nullopt;
    }
    return command;
}

}  // namespace ostrel::app

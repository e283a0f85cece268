// The scenario lines that pause, continue and resume jobs, and cut the simulated machine's power.
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <ostream>

#include "app/Script.h"
#include "engraver/Engraver.h"

namespace ostrel::app {

namespace {

bool refused(const Step& step, const std::string& why, std::ostream& out) {
    if (why.empty()) return true;
    out << "line " << step.line << ": " << step.name << ": " << why << '\n';
    return false;
}

// The power goes: the process ends at once, nothing more reaches the port or the files, and
// the disk keeps of the journal only what was synced.
[[noreturn]] void cutThePower(const Step& step, engraver::Engraver& engraver, std::ostream& out) {
    const jobs::JobJournal& journal = engraver.pictureRun().journal();
    if (journal.isOpen()) {
        // NOTE: what a real power cut loses is whatever the disk had not been given; here the
        // file is cut back to the last sync, which is the most it can lose.
        if (::truncate(journal.path().c_str(), static_cast<off_t>(journal.syncedBytes())) != 0)
            out << "line " << step.line << ": power-cut: cannot cut the journal back\n";
    }
    out << "line " << step.line << ": power-cut: the machine and the program lose their power\n";
    out.flush();
    std::cout.flush();
    std::cerr.flush();
    std::_Exit(kScriptPowerCut);
}

}  // namespace

bool runJobStep(const Step& step, engraver::Engraver& engraver, std::ostream& out) {
    if (step.name == "pause") return refused(step, engraver.jobPause().pause(), out);
    if (step.name == "continue") return refused(step, engraver.jobPause().continueRun(), out);
    if (step.name == "resume") {
        jobs::JobResume& resume = engraver.jobResume();
        if (!refused(step, resume.resume(step.value), out)) return false;
        const jobs::ResumeOffer& o = resume.offer();
        out << "line " << step.line << ": resume: " << o.path << " from row " << o.point.row
            << ", column " << o.point.column << " (" << o.point.dots << " dots done, " << o.dotsLeft
            << " to go" << (o.point.owedMs > 0 ? ", " : "")
            << (o.point.owedMs > 0 ? std::to_string(o.point.owedMs) + " ms owed to the last" : "")
            << ")\n";
        return true;
    }
    if (step.name == "power-cut") cutThePower(step, engraver, out);
    return refused(step, "unknown job command", out);
}

}  // namespace ostrel::app

// The command panel (filled in by its own change).
#include "panel/CommandPanel.h"

namespace ostrel::panel {

CommandPanel::CommandPanel(form::Context& ctx, jobs::Preparation& preparation,
                           jobs::PictureRun& pictureRun, jobs::FrameRun& frameRun)
    : ctx_(ctx), preparation_(preparation), pictureRun_(pictureRun), frameRun_(frameRun) {}
void CommandPanel::registerEvents(form::EventTable&) {}
void CommandPanel::Command2Click(int) {}
void CommandPanel::StartJob() {}
void CommandPanel::Option2Click() {}
void CommandPanel::shemaClick() {}
void CommandPanel::explanClick() {}
void CommandPanel::aboutClick() {}

}  // namespace ostrel::panel

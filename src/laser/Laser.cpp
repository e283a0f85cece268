// Laser control (filled in by its own change).
#include "laser/Laser.h"

namespace ostrel::laser {

Laser::Laser(form::Context& ctx) : ctx_(ctx) {
    ctx_.form.Timer3.setHandler([this] { Timer3Tick(); });
}
void Laser::registerEvents(form::EventTable&) {}
void Laser::Command4Click() {}
void Laser::Command6Click() {}
void Laser::Timer3Tick() {}
void Laser::ZDown() {}
void Laser::ZUp() {}

}  // namespace ostrel::laser

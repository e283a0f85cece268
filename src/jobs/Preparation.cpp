// Picture loading and preparation (filled in by its own change).
#include "jobs/Preparation.h"

namespace ostrel::jobs {

Preparation::Preparation(form::Context& ctx) : ctx_(ctx) {}
void Preparation::registerEvents(form::EventTable&) {}
LoadResult Preparation::LoadPicture(const std::string&) { return {false, "not available yet"}; }
void Preparation::StretchIntoPicture2() {}
void Preparation::PreparePicture() {}
void Preparation::Check1Click() {}
void Preparation::HScroll3Change() {}
void Preparation::HScroll1Change() {}
void Preparation::VScroll1Change() {}

}  // namespace ostrel::jobs

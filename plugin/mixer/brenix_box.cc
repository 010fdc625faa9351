#include "plugin/mixer/brenix_box.h"

BrenixBox::~BrenixBox() = default;
int32_t BrenixBox::ProbeOfStyle(uint16_t) const { return -1; }
int32_t BrenixBox::CopyProbe(int32_t, int32_t, int32_t) { return -1; }
std::unique_ptr<BrenixBox> BrenixBox::Install(Mapper&) { return nullptr; }
std::unique_ptr<BrenixBox> BrenixBox::MakeImport(Mapper&) { return std::make_unique<BrenixBox>(); }

#include "pins/Unit2.h"

#include "framework/Exceptions.h"

TPntLPT::TPntLPT(std::int32_t size) : Bits_(size > 0 ? static_cast<std::size_t>(size) : 0) {}

TPntLPT::~TPntLPT() = default;

void TPntLPT::CheckIndex(std::int32_t index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= Bits_.size()) {
        throw EBitsError("Bits index out of range");
    }
}

bool TPntLPT::GetPin(std::int32_t index) const {
    CheckIndex(index);
    return Bits_[static_cast<std::size_t>(index)];
}

void TPntLPT::SetPin(std::int32_t index, bool value) {
    if (GetPin(index) == value) {
        return;
    }
    Bits_[static_cast<std::size_t>(index)] = value;
    DoChange(index);
}

void TPntLPT::DoChange(std::int32_t index) {
    if (OnChange_) {
        OnChange_(this, index);
    }
}

#include "platform/DragSetting.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

#ifdef _WIN32
class SystemDragSetting final : public TDragSetting {
public:
    bool Get() override {
        BOOL value = FALSE;
        SystemParametersInfoA(SPI_GETDRAGFULLWINDOWS, 0, &value, 0);
        return value != FALSE;
    }
    // No pointer and no profile/broadcast flags: the change is for this session only.
    void Set(bool value) override {
        SystemParametersInfoA(SPI_SETDRAGFULLWINDOWS, value ? 1 : 0, nullptr, 0);
    }
};
#else
class ProgramDragSetting final : public TDragSetting {
public:
    bool Get() override { return value_; }
    void Set(bool value) override { value_ = value; }

private:
    bool value_ = false;  // as a desktop that shows only an outline while dragging
};
#endif

}  // namespace

std::unique_ptr<TDragSetting> MakeNativeDragSetting() {
#ifdef _WIN32
    return std::make_unique<SystemDragSetting>();
#else
    return std::make_unique<ProgramDragSetting>();
#endif
}

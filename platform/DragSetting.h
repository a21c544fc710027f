// The desktop's "show window contents while dragging" setting. On Windows it is
// the system's own; on Linux the window manager owns the real one, so the
// program keeps the setting for itself.
#pragma once

#include <memory>

class TDragSetting {
public:
    virtual ~TDragSetting() = default;
    virtual bool Get() = 0;
    virtual void Set(bool value) = 0;
};

std::unique_ptr<TDragSetting> MakeNativeDragSetting();

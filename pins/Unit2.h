// The remembered levels of the data pins, with an event that fires only when a
// level really changes.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class TPntLPT;

// Sender and index of the pin that changed.
using TPinChangeEvent = std::function<void(TPntLPT* sender, std::int32_t index)>;

class TPntLPT {
public:
    explicit TPntLPT(std::int32_t size);
    virtual ~TPntLPT();

    bool GetPin(std::int32_t index) const;
    void SetPin(std::int32_t index, bool value);

    const TPinChangeEvent& OnChange() const { return OnChange_; }
    void SetOnChange(TPinChangeEvent handler) { OnChange_ = std::move(handler); }

protected:
    virtual void DoChange(std::int32_t index);

private:
    void CheckIndex(std::int32_t index) const;

    std::vector<bool> Bits_;
    TPinChangeEvent OnChange_;
};

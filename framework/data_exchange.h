// Data exchange between a dialog's controls and its data, in one direction per
// pass: loading (data to controls) or saving (controls to data, with validation).
// A refused save stops the pass; the dialog then reports the message and keeps
// the focus on the control that was refused.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

class Window;

class DataExchange {
public:
    DataExchange(HWND dialog, bool saving) : dialog_(dialog), saving_(saving) {}

    bool saving() const { return saving_; }
    bool loading() const { return !saving_; }
    bool failed() const { return failedControl_ != 0; }
    int failedControl() const { return failedControl_; }
    const std::wstring& message() const { return message_; }

    // Binds a control view to the control `id` (both directions).
    void control(int id, Window& view);
    // Text of a control.
    void text(int id, std::wstring& value);
    // At most `maximum` characters: loading limits the edit control, saving refuses
    // a longer text with "Enter no more than %1 characters.".
    void maxChars(int id, const std::wstring& value, size_t maximum);
    // Check box state (BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE).
    void check(int id, int& state);
    // Radio group starting at `firstId`: the position of the checked button, -1 for none.
    void radio(int firstId, int& value);

    // Refuses the save, naming the control and the message.
    void fail(int id, std::wstring message);

private:
    bool skip() const { return saving_ && failed(); }

    HWND dialog_;
    bool saving_;
    int failedControl_ = 0;
    std::wstring message_;
};

// The framework's own validation text for an over-long entry.
std::wstring maxCharsMessage(size_t maximum);

} // namespace fw

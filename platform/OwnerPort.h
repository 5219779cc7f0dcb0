#pragma once
// The one way engine and discovery code talk to whatever owns a job: a wizard
// page in the window program, a headless driver in the command line and tests.

#include <string>

namespace qrv {

// Identifier of the job message a worker posts to its owner (wParam 1; lParam
// 6 = camera back with the new version, 3 = upgrade failed).
inline constexpr int kJobMessage = 0x8064;

enum class BoxIcon { None, Information, Exclamation, Question, Stop };
enum class BoxButtons { Ok, OkCancel, YesNo };
enum class BoxAnswer { Ok, Cancel, Yes, No };

struct MessageBox {
    std::u16string text;
    std::u16string caption;
    BoxIcon icon = BoxIcon::None;
    BoxButtons buttons = BoxButtons::Ok;

    bool operator==(const MessageBox&) const = default;
};

class OwnerPort {
public:
    virtual ~OwnerPort() = default;

    // Starts (or restarts) the periodic timer `id`. Every tick is delivered on
    // the owner's own thread. Callable from any thread.
    virtual void StartTimer(int id, int periodMs) = 0;
    // Stops timer `id`; stopping a timer that does not run does nothing.
    // Callable from any thread.
    virtual void StopTimer(int id) = 0;
    // Queues the job message (kJobMessage, wParam, lParam) for the owner's
    // thread. Callable from any thread; never blocks.
    virtual void PostJobMessage(int wParam, int lParam) = 0;
    // Shows a box and returns the user's answer. Callable from any thread;
    // blocks the caller until the box is answered.
    virtual BoxAnswer ShowMessageBox(const MessageBox& box) = 0;
};

// A progress bar (or a counter standing in for one). Written by workers,
// read by the owner; implementations are thread-safe.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual int Position() const = 0;
    virtual void SetPosition(int position) = 0;
    virtual void Step(int delta) = 0;
};

}  // namespace qrv

// Where the core's fixed user messages go: message boxes in the window, standard error in the
// command-line tools. The core calls it and waits until the user has seen the message.
#pragma once

#include <string_view>

namespace norvane {

class MessageSink {
  public:
    virtual ~MessageSink() = default;
    // Shows `text` with `caption` and an OK button only; returns when the user has closed it.
    virtual void MessageBox(std::string_view text, std::string_view caption) = 0;
};

}  // namespace norvane

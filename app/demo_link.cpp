#include "app/demo_link.h"

#include "framework/framework.h"

namespace norvane {

void CDemoLink::OnHighlight() {
    SetMessageText(linkText());
}

void CDemoLink::OnUnhighlight() {
    SetMessageText(IdleMessage());
}

}  // namespace norvane

// The start window's homepage link: while it is highlighted, the link target stands in the main
// window's status message; the idle message comes back afterwards.
#pragma once

#include "widgets/hyperlink.h"

namespace norvane {

class CDemoLink : public CHyperLink {
  protected:
    void OnHighlight() override;
    void OnUnhighlight() override;
};

}  // namespace norvane

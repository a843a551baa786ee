#include "ui/fallback_resources.h"

#include <array>

namespace {

// A calm light-grey scheme with dark text, white entry fields and a blue
// accent; Helvetica from the standard X font packages, in two weights.
constexpr std::array<const char*, 26> resources{
    "*background: #dcd9d2",
    "*foreground: #1d2126",
    "*highlightColor: #3b6ea8",
    "*selectColor: #3b6ea8",
    "*troughColor: #aab6c2",
    "*fontList: -*-helvetica-medium-r-normal--14-*-*-*-p-*-iso8859-1",
    "*XmLabel.fontList: -*-helvetica-bold-r-normal--14-*-*-*-p-*-iso8859-1",
    "*XmLabelGadget.fontList: -*-helvetica-bold-r-normal--14-*-*-*-p-*-iso8859-1",
    "*XmCascadeButton.fontList: -*-helvetica-bold-r-normal--14-*-*-*-p-*-iso8859-1",
    "*XmScale.fontList: -*-helvetica-medium-r-normal--12-*-*-*-p-*-iso8859-1",
    "*XmTextField.background: #fbfaf7",
    "*XmText.background: #fbfaf7",
    "*XmList.background: #fbfaf7",
    "*XmTextField.fontList: -*-helvetica-medium-r-normal--14-*-*-*-p-*-iso8859-1",
    "*XmText.fontList: -*-helvetica-medium-r-normal--14-*-*-*-p-*-iso8859-1",
    "*XmList.fontList: -*-helvetica-medium-r-normal--14-*-*-*-p-*-iso8859-1",
    "*XmTextField.highlightThickness: 1",
    "*XmPushButton.marginHeight: 3",
    "*state_holder.slider.scaleHeight: 166",
    "*instrument_holder.slider.scaleHeight: 166",
    "*instrument_holder.spacing: 7",
    "*event_form*fontList: -*-helvetica-medium-r-normal--12-*-*-*-p-*-iso8859-1",
    "*XmFrame.shadowType: SHADOW_ETCHED_IN",
    "*XmScale.highlightThickness: 0",
    "*XmArrowButton.foreground: #3b6ea8",
    nullptr,
};

}  // namespace

void install_fallback_resources(XtAppContext context) {
  // The toolkit only reads the list; its type merely lacks the const.
  XtAppSetFallbackResources(context, const_cast<String*>(resources.data()));
}

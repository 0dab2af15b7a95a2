#pragma once

#include "platform/ui/dialog_template.h"

// The "File Download" window's template and the ids of its controls.
namespace progress_dlg {

constexpr int kTemplateId = 129;
constexpr int kAnimationResource = 256;

constexpr int IDC_SAVING = 1006;
constexpr int IDC_TIME_LEFT = 1008;
constexpr int IDC_DEST_FOLDER = 1009;
constexpr int IDC_RATE = 1010;
constexpr int IDC_DETAILS = 1011;
constexpr int IDC_PROGRESS = 1016;
constexpr int IDC_CONN_EXTRA_FIRST = 1017;  // 1017..1026, nothing updates them
constexpr int IDC_CONN_BYTES_FIRST = 1030;  // 1030..1039, connections 1..10
constexpr int IDC_LINK_FEEDBACK = 1040;
constexpr int IDC_LINK_UPDATES = 1041;
constexpr int IDC_MARKER = 1042;
constexpr int IDC_LINK_SITE = 1043;
constexpr int IDC_BUTTON1 = 1044;
constexpr int IDC_VERSION = 1045;
constexpr int IDC_ANIMATION = 1046;
constexpr int IDC_BANNER = 1047;

// Template 129, in dialog units.
DialogTemplate Template();

}  // namespace progress_dlg

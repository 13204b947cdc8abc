// A plain message box: no caption of the page's own, so it carries the
// program's name. Where a plain box has no icon of its own, it shows the
// information icon.
#pragma once

#include "services/app_context.h"
#include "services/message_boxes.h"

inline MessageBoxes::Answer PlainBox(AppContext& app, QWidget* parent, const QString& text,
                                     MessageBoxes::Icon icon = MessageBoxes::Information,
                                     MessageBoxes::Buttons buttons = MessageBoxes::Ok) {
    constexpr int kProgramName = 2;
    return app.boxes().show(parent, text, app.GetAppInfo(kProgramName), icon, buttons);
}

// What the card tool's benchmarks share: the tool started on the simulator's
// pseudo-terminal as COM1, every message box answered OK (or Yes).
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/app.h"
#include "services/message_boxes.h"

struct BenchTool {
    class OkBoxes : public MessageBoxes {
      public:
        Answer show(QWidget*, const QString&, const QString&, Icon, Buttons buttons) override {
            return buttons == YesNo ? AnswerYes : AnswerOk;
        }
    };

    explicit BenchTool(const std::string& ptyPath) : pty(ptyPath) { ::setenv("VARROK_COM1", pty.c_str(), 1); }
    // False, with a word on standard error, when the tool did not come up connected.
    bool start() {
        if (app.InitInstance() && app.CurrentConnection.IsConnected()) return true;
        std::fprintf(stderr, "the tool did not connect to COM1 (%s)\n", pty.c_str());
        return false;
    }

    std::string pty;
    OkBoxes boxes;
    CTavistoApp app{QStringLiteral(OSKELLE_BIN_DIR), boxes};
};

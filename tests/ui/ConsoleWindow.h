#pragma once

#include "core/ConsoleModel.h"
#include "core/StationConsole.h"
#include "ui/Frmgrading.h"
#include "ui/WidgetOperator.h"

// The model and the console's procedures, built ahead of their window.
struct ConsoleParts
{
    explicit ConsoleParts(StationEnvironment environment)
        : console(std::move(environment), consoleModel)
    {
    }

    ConsoleModel consoleModel;
    StationConsole console;
};

// The console as the station builds it: model, procedures, window and the operator at it. The
// window's controls are members; the procedures are reached through console.
struct ConsoleWindow : ConsoleParts, Frmgrading
{
    explicit ConsoleWindow(StationEnvironment environment)
        : ConsoleParts(std::move(environment))
        , Frmgrading(consoleModel, console)
        , op(console, *this)
    {
        console.setOperator(op);
    }

    WidgetOperator op;
};

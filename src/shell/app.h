#pragma once
// The application object and the process's start-up and shut-down.

#include "framework/application.h"

// The application class. It handles no application event and adds nothing.
class App : public fw::Application {};

// The start-up routine that the framework calls back: makes the application
// object with its menu bar, registers it, and brings up the main window.
void Startup();

// Hands the framework the start-up routine and runs the event loop. An
// exception that escapes either goes to the unhandled-exception report.
void RunApplication();

// The whole process, after which it exits with the returned status.
int Main();

#pragma once

class LSController;

// The program's one application controller (it registers app-wide menus and commands).
LSController &testController();

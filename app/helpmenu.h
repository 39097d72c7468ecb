#pragma once

#include <QDialog>
#include <QMenu>
#include <QPointer>

// The Help menu shown in every document window: About Sprig (version and licence) and Turtle
// Commands, a reference of what each character of a generated string makes the turtle do.
class HelpMenu : public QMenu
{
    Q_OBJECT

public:
    explicit HelpMenu(QWidget *parent = nullptr);

    void showAbout();
    // Opens the reference, or brings it forward: one window serves every document.
    void showTurtleCommands();
    QDialog *turtleCommandsWindow() const { return mTurtleCommands; }

private:
    QPointer<QDialog> mTurtleCommands;
};

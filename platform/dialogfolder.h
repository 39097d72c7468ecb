#pragma once

#include <QString>

// Where a file dialog starts: the folder of the document's file, else the folder the user last
// chose a file in (remembered across runs), else the home folder.
QString dialogFolder(const QString &documentFile);

// Remembers the folder of a file the user chose in a file dialog.
void noteDialogFolder(const QString &chosenFile);

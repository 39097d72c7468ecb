#pragma once

#include "document/model/documentcolor.h"

#include <QColor>
#include <QStringList>

#include <string>
#include <vector>

// The document model's values as the window's controls hold them, and back.

QColor toQColor(const DocumentColor &color);
DocumentColor fromQColor(const QColor &color);
QStringList toQStringList(const std::vector<std::string> &list);
std::vector<std::string> toStdVector(const QStringList &list);

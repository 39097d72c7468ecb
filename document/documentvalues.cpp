#include "document/documentvalues.h"

QColor toQColor(const DocumentColor &color)
{
    const std::array<double, 4> c = color.rgba();
    return QColor::fromRgbF(float(c[0]), float(c[1]), float(c[2]), float(c[3]));
}

DocumentColor fromQColor(const QColor &color)
{
    return DocumentColor::calibratedRgb(float(color.redF()), float(color.greenF()),
                                        float(color.blueF()), float(color.alphaF()));
}

QStringList toQStringList(const std::vector<std::string> &list)
{
    QStringList out;
    out.reserve(qsizetype(list.size()));
    for (const std::string &s : list)
        out.append(QString::fromStdString(s));
    return out;
}

std::vector<std::string> toStdVector(const QStringList &list)
{
    std::vector<std::string> out;
    out.reserve(std::size_t(list.size()));
    for (const QString &s : list)
        out.push_back(s.toStdString());
    return out;
}

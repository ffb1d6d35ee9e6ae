#include "figuretable.h"

#include <algorithm>
#include <cstdio>

void FigureTable::add(const QByteArray &name, double value, const QByteArray &unit, int decimals)
{
    auto it = m_figures.find(name);
    if (it == m_figures.end()) {
        m_order.append(name);
        it = m_figures.insert(name, Figure{unit, decimals, {}});
    }
    it->values.append(value);
}

double FigureTable::median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

QByteArray FigureTable::format(double value, int decimals)
{
    return QByteArray::number(value, 'f', decimals);
}

void FigureTable::printRun(int run) const
{
    for (const QByteArray &name : m_order) {
        const Figure &figure = m_figures.value(name);
        if (figure.values.size() > run)
            std::fprintf(stderr, "  run %d: %s %s %s\n", run + 1, name.constData(),
                         format(figure.values.at(run), figure.decimals).constData(), figure.unit.constData());
    }
}

void FigureTable::print() const
{
    for (const QByteArray &name : m_order) {
        const Figure &figure = m_figures.value(name);
        std::printf("%s %s %s\n", name.constData(), format(median(figure.values), figure.decimals).constData(),
                    figure.unit.constData());
    }
    std::printf("# %-34s %12s %12s %12s %-6s %s\n", "name", "min", "median", "max", "unit", "runs");
    for (const QByteArray &name : m_order) {
        const Figure &figure = m_figures.value(name);
        QByteArray runs;
        for (const double value : figure.values)
            runs += (runs.isEmpty() ? "" : " ") + format(value, figure.decimals);
        std::printf("# %-34s %12s %12s %12s %-6s %s\n", name.constData(),
                    format(*std::min_element(figure.values.begin(), figure.values.end()), figure.decimals).constData(),
                    format(median(figure.values), figure.decimals).constData(),
                    format(*std::max_element(figure.values.begin(), figure.values.end()), figure.decimals).constData(),
                    figure.unit.constData(), runs.constData());
    }
    std::fflush(stdout);
}

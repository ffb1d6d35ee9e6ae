#ifndef TALVORI_BENCH_FIGURETABLE_H
#define TALVORI_BENCH_FIGURETABLE_H

#include <QByteArray>
#include <QList>
#include <QMap>

// The figures of several runs, printed as "name value unit" lines with the median of the runs
// (the format of the reference benchmark, so the two can be put side by side), followed by a
// comment block with the minimum, median, maximum and every run.
class FigureTable
{
public:
    void add(const QByteArray &name, double value, const QByteArray &unit, int decimals = 1);
    // Prints one run's figures at once, to follow a long run (stderr).
    void printRun(int run) const;
    void print() const;
    bool isEmpty() const { return m_order.isEmpty(); }

private:
    struct Figure
    {
        QByteArray unit;
        int decimals = 1;
        QList<double> values;
    };
    static double median(QList<double> values);
    static QByteArray format(double value, int decimals);

    QList<QByteArray> m_order;
    QMap<QByteArray, Figure> m_figures;
};

#endif

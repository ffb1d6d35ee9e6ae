#include "vintobackend.h"

#include "graph.h"
#include "scriptfile.h"

#include <daxdebug.h>
#include <daxvintoaction.h>


VintoBackend::VintoBackend(QList<QVariant> *graphs)
    : m_graphs(graphs)
{
}

void VintoBackend::loadFile(const QString &path)
{
    m_script = ScriptFile::read(path);
}

void VintoBackend::buildPythonPreamble()
{
    m_preamble.clear();
    if (!m_graphs)
        return;
    for (const QVariant &entry : std::as_const(*m_graphs)) {
        m_preamble += QLatin1String("# -*- coding: utf-8 -*- ");
        QObject *graph = entry.value<QObject *>();
        const QVariant name = graph ? graph->property("name") : QVariant();
        if (!name.toString().isEmpty())
            m_preamble += QLatin1String("import ") + name.toString() + QLatin1Char('\n');
    }
}

void VintoBackend::buildRubyPreamble()
{
    m_preamble.clear();
    if (!m_graphs)
        return;
    for (const QVariant &entry : std::as_const(*m_graphs)) {
        QObject *graph = entry.value<QObject *>();
        const QVariant name = graph ? graph->property("name") : QVariant();
        if (!name.toString().isEmpty())
            m_preamble += QLatin1String("require '") + name.toString() + QLatin1String("' \n");
    }
}

DaxVintoAction *VintoBackend::execute()
{
    if (m_backend == QLatin1String("python")) {
        buildPythonPreamble();
    } else if (m_backend == QLatin1String("ruby")) {
        buildRubyPreamble();
    } else if (m_backend == QLatin1String("javascript")) {
        // A Python or Ruby preamble left from an earlier run is not JavaScript and would make
        // the script fail before its first line.
        m_preamble.clear();
    } else {
        daxDebug() << "Backend Not Implemented Yet.";
        return nullptr;
    }
    auto *action = new DaxVintoAction(nullptr, QStringLiteral("myScript"), QString());
    action->setInterpreter(m_backend);
    if (m_graphs) {
        for (const QVariant &entry : std::as_const(*m_graphs)) {
            auto *graph = qobject_cast<Graph *>(entry.value<QObject *>());
            if (!graph) {
                daxDebug() << "Graph is NULL";
                continue;
            }
            const QVariant name = graph->property("name");
            if (!name.toString().isEmpty())
                action->addObject(graph, name.toString());
        }
    }
    // UTF-8, so graph names and script text outside Latin-1 reach the interpreter intact.
    action->setCode((m_preamble + m_script).toUtf8());
    action->trigger();
    return action;
}

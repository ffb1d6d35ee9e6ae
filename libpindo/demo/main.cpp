#include "mainwindow.h"

#include "daxappaboutdata.h"
#include "daxappi18n.h"
#include "daxapplication.h"
#include "daxcommandline.h"

int main(int argc, char *argv[])
{
    DaxAppAboutData about(QStringLiteral("demo-pindo"), i18n("Pindo demo application"), QStringLiteral("2.0.0"),
                          i18n("Presents the Zelt Widget Interface"));
    about.addAuthor(QStringLiteral("The Pindo developers"), i18n("Pindo library"));

    // The application object first: it takes Qt's own options (-platform, -style, ...) out of the
    // arguments before the program's options are parsed.
    DaxApplication app(argc, argv, about);
    DaxCommandLine args(about);
    args.addOption(QStringLiteral("demopoints_single"), i18n("Add built-in demo points as single markers"));
    args.addOption(QStringLiteral("demopoints_group"), i18n("Add built-in demo points as groupable markers"));
    args.addOption(QStringLiteral("single"), i18n("Do not group the displayed images"));
    args.addOption(QStringLiteral("+[images]"), i18n("List of images"));
    args.process(app);

    MainWindow window(&args);
    window.show();
    window.slotScheduleImagesForLoading(args.urls());
    return app.exec();
}

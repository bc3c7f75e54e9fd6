#include <QCoreApplication>
#include <QTextStream>

// The windows are not built yet; until they are, the program says so instead of pretending to run.
int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream(stderr) << "Tidewell " << TIDEWELL_VERSION
                        << ": the core library is built; the main window and the settings window are not there yet.\n";
    return 0;
}

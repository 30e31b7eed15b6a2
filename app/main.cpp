// Kestrava's desktop program: starts one window per user, or hands over to the running one.
#include <clocale>

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTimer>

#include "app/CKestravaDlg.h"
#include "app/QtMessageBox.h"
#include "app/ScopeInstrument.h"
#include "app/SingleInstance.h"
#include "base/Folders.h"
#include "base/Log.h"
#include "instrument/COscilloscope.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The toolkit takes the user's locale into the C library; numbers in commands, setup
    // files and lists are for programs, so they keep the point as decimal separator.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationName(QStringLiteral("Veltrace"));
    DeleteLog();

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Serial ATA decoder for oscilloscope captures"));
    options.addHelpOption();
    const QCommandLineOption open(QStringLiteral("open"),
                                  QStringLiteral("Decode a waveform file at start."),
                                  QStringLiteral("file"));
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the window and end."),
                                        QStringLiteral("png"));
    options.addOption(open);
    options.addOption(screenshot);
    options.process(application);
    const bool takeScreenshot = options.isSet(screenshot);

    // A screenshot run is a tool run: it neither joins nor raises the user's window.
    kestrava::SingleInstance instance(kestrava::SingleInstance::DefaultName());
    // A file to open goes to the running window ("open with" from a file manager).
    const QString handed =
        options.isSet(open) ? QFileInfo(options.value(open)).absoluteFilePath() : QString();
    if (!takeScreenshot && instance.RaiseRunning(handed)) return 0;

    kestrava::QtMessageBox messageBoxes;
    kestrava::SetMessageBoxSink(&messageBoxes);
    kestrava::Folders::PrepareDataFolders();

    int status = 0;
    {
        // The window connects, sets the trigger source and display channel, sends the
        // trigger defaults and probes the maximum bit rate while it initialises.
        kestrava::ScopeInstrument instrument(kestrava::TheOscilloscope());
        kestrava::CKestravaDlg window(instrument);
        if (!takeScreenshot) instance.Listen(&window);
        QObject::connect(
            &instance, &kestrava::SingleInstance::openRequested, &window,
            [&window](const QString& path) { window.LoadWaveformFile(path.toStdString()); });
        window.show();
        if (options.isSet(open)) window.LoadWaveformFile(options.value(open).toStdString());
        if (takeScreenshot) {
            // The picture is taken once the opened file is decoded and shown.
            const QString path = options.value(screenshot);
            auto take = [&window, path] {
                QTimer::singleShot(800, &window, [&window, path] {
                    const bool saved = window.grab().save(path);
                    QApplication::exit(saved ? 0 : 1);
                });
            };
            if (window.DecodeRunning())
                QObject::connect(&window, &kestrava::CKestravaDlg::decodeEnded, &window, take);
            else
                take();
        }
        status = QApplication::exec();
    }
    kestrava::SetMessageBoxSink(nullptr);
    return status;
}

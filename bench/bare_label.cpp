// The yardstick of window_bench: a bare Qt widgets program showing one QLabel.
#include <QApplication>
#include <QLabel>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral("Wordpop"));
    label.show();
    return app.exec();
}

// The yardstick for start-up time and idle memory: one empty Qt Widgets window.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(533, 353);
    window.show();
    return app.exec();
}

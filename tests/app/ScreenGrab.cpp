// Saves a picture of the whole X screen (or of one window, by its X id) as PNG, for the
// screenshot script: quorvel_screen_grab OUT.png [WINDOW_ID]

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: quorvel_screen_grab OUT.png [WINDOW_ID]\n");
        return 64;
    }
    QGuiApplication app(argc, argv);
    const WId window = argc > 2 ? static_cast<WId>(std::strtoull(argv[2], nullptr, 0)) : 0;
    const QPixmap picture = QGuiApplication::primaryScreen()->grabWindow(window);
    if (picture.isNull() || !picture.save(argv[1], "PNG")) {
        std::fprintf(stderr, "quorvel_screen_grab: %s was not written\n", argv[1]);
        return 1;
    }
    return 0;
}

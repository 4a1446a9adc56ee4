// Build-time tool: decodes the program's PNG icons and writes them out as C++ arrays of
// premultiplied ARGB pixels, so the program makes its icons without an image reader (which
// would look through every image-format plug-in at start-up) and without decoding PNG.
//   quil_embed_icons <output.cpp> <icon.png>...

#include <QFileInfo>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: quil_embed_icons <output.cpp> <icon.png>...\n");
        return 2;
    }
    std::FILE* out = std::fopen(argv[1], "w");
    if (!out) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(out,
                 "// Made by quil_embed_icons from the PNG icons; not edited by hand.\n"
                 "#include \"ui/main/ProgramIconData.h\"\n\n"
                 "namespace quil::ui {\nnamespace {\n");
    QList<QByteArray> names;
    QList<QSize> sizes;
    for (int i = 2; i < argc; ++i) {
        const QImage image =
            QImage(QString::fromLocal8Bit(argv[i])).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (image.isNull()) {
            std::fprintf(stderr, "quil_embed_icons: %s: not an image\n", argv[i]);
            std::fclose(out);
            std::remove(argv[1]);
            return 1;
        }
        names << QFileInfo(QString::fromLocal8Bit(argv[i])).completeBaseName().toUtf8();
        sizes << image.size();
        std::fprintf(out, "const std::uint32_t kPixels%d[] = {", i - 2);
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x)
                std::fprintf(out, "%s0x%08x,", (x % 8 == 0) ? "\n    " : " ", line[x]);
        }
        std::fprintf(out, "\n};\n");
    }
    std::fprintf(out, "\n}  // namespace\n\nconst ProgramIconImage kProgramIconImages[] = {\n");
    for (int i = 0; i < names.size(); ++i)
        std::fprintf(out, "    {\"%s\", %d, %d, kPixels%d},\n", names[i].constData(),
                     sizes[i].width(), sizes[i].height(), i);
    std::fprintf(out, "};\nconst int kProgramIconImageCount = %d;\n\n}  // namespace quil::ui\n",
                 int(names.size()));
    return std::fclose(out) == 0 ? 0 : 1;
}

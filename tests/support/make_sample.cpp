// Writes the friendly sample cabinet shipped with the program (resources/sample/):
// a small MSZIP cabinet of a made-up 1998 project, for trying the viewer out.
//   make_sample OUT.cab
#include "tests/support/CabWriter.h"

#include <QFile>
#include <cstdio>

using morbek::test::CabFileSpec;
using morbek::test::CabMethod;
using morbek::test::CabWriter;
using morbek::test::DosDate;
using morbek::test::DosTime;

namespace {

QByteArray Crlf(const char* text) {
    return QByteArray(text).replace("\n", "\r\n");
}

void PutLe(QByteArray& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A 32 x 32, 24-bit bitmap: a blue cabinet drawer on a light background.
QByteArray LogoBitmap() {
    constexpr int kSide = 32;
    constexpr int kRow = kSide * 3; // already a multiple of 4
    QByteArray bmp("BM");
    PutLe(bmp, 54 + kRow * kSide, 4);
    PutLe(bmp, 0, 4);
    PutLe(bmp, 54, 4);
    PutLe(bmp, 40, 4);
    PutLe(bmp, kSide, 4);
    PutLe(bmp, kSide, 4);
    PutLe(bmp, 1, 2);
    PutLe(bmp, 24, 2);
    PutLe(bmp, 0, 4);
    PutLe(bmp, kRow * kSide, 4);
    PutLe(bmp, 2835, 4);
    PutLe(bmp, 2835, 4);
    PutLe(bmp, 0, 4);
    PutLe(bmp, 0, 4);
    for (int y = 0; y < kSide; ++y) // rows bottom-up, pixels blue-green-red
        for (int x = 0; x < kSide; ++x) {
            const bool body = x >= 4 && x < 28 && y >= 3 && y < 29;
            const bool seam = body && (y == 16 || y == 15);
            const bool handle = body && x >= 13 && x < 19 && (y == 9 || y == 22);
            uint32_t bgr = 0xF0F0F0;
            if (body)
                bgr = 0xB05020;
            if (seam)
                bgr = 0x602810;
            if (handle)
                bgr = 0xE0E0E0;
            PutLe(bmp, bgr, 3);
        }
    return bmp;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample OUT.cab\n");
        return 2;
    }
    CabWriter w;
    w.addFolder(CabMethod::MsZip);
    const auto add = [&](const char* name, const QByteArray& data, int month, int day, int hour, int minute,
                         uint16_t attribs = 0x20) {
        CabFileSpec spec;
        spec.name = name;
        spec.data = data;
        spec.date = DosDate(1998, month, day);
        spec.time = DosTime(hour, minute, 0);
        spec.attribs = attribs;
        w.addFile(spec);
    };
    add("readme.txt",
        Crlf("Cabinet Tools 1.0 sample\n"
             "========================\n\n"
             "This cabinet holds a few small files so that you can try the viewer:\n"
             "open it, switch views, sort, look at the properties of a file and\n"
             "extract one or all of them.\n\n"
             "  docs\\     the manual and the list of changes\n"
             "  src\\      two source files\n"
             "  images\\   a tiny bitmap\n"
             "  data\\     settings\n"),
        9, 14, 10, 30);
    add("licence.txt",
        Crlf("Permission is granted to anyone to use, copy and share these sample\n"
             "files for any purpose, without fee. They come with no warranty.\n"),
        9, 14, 10, 32, 0x21); // read-only
    add("docs\\manual.txt",
        Crlf("Cabinet Tools manual\n\n"
             "1. Opening a cabinet\n"
             "   Choose Open and pick a .cab file, or a setup program that carries one.\n\n"
             "2. The file list\n"
             "   Each file shows its name, size, date and path inside the cabinet.\n\n"
             "3. Extracting\n"
             "   Select files and choose Extract; pick the folder to write them to.\n"),
        8, 30, 16, 45);
    add("docs\\changes.txt",
        Crlf("1.0  14 Sep 1998  first release\n"
             "0.9  30 Aug 1998  multi-cabinet sets\n"
             "0.5  02 Jun 1998  first test version\n"),
        9, 14, 9, 58);
    add("src\\main.c",
        Crlf("#include <stdio.h>\n#include \"cabinet.h\"\n\n"
             "int main(int argc, char *argv[])\n{\n"
             "    if (argc < 2) {\n"
             "        printf(\"usage: cablist FILE.CAB\\n\");\n"
             "        return 1;\n    }\n"
             "    return list_cabinet(argv[1]);\n}\n"),
        7, 21, 22, 14);
    add("src\\cabinet.h",
        Crlf("#ifndef CABINET_H\n#define CABINET_H\n\n"
             "/* Lists the files of a cabinet; 0 on success. */\n"
             "int list_cabinet(const char *path);\n\n#endif\n"),
        7, 21, 22, 3);
    add("images\\logo.bmp", LogoBitmap(), 6, 2, 11, 20);
    add("data\\settings.ini", Crlf("[View]\nStyle=Details\nSort=Name\n\n[Extract]\nLastFolder=C:\\TEMP\n"), 9,
        1, 8, 0);

    QFile out(QString::fromLocal8Bit(argv[1]));
    const QByteArray cab = w.build();
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(cab) != cab.size()) {
        std::fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

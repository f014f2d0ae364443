// Turns the plain ellipsoid list (name a b per line, # comments) into the
// binary Ellip.db. Usage: make_ellip_db LIST OUTPUT
#include <cstdio>

#include "text/LineReader.h"
#include "text/LineScanner.h"
#include "points/PointFile.h"
#include "settings/EllipsoidDatabase.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_ellip_db LIST OUTPUT\n");
    return 2;
  }
  pelmar::LineReader reader(argv[1]);
  if (!reader.isOpen()) {
    std::fprintf(stderr, "make_ellip_db: cannot open %s\n", argv[1]);
    return 1;
  }
  pelmar::EllipsoidList list;
  std::string_view line;
  while (reader.next(line)) {
    const std::string_view data = pelmar::dataPart(line);
    if (data.empty()) continue;
    pelmar::EllipsoidRecord record;
    if (pelmar::scanFields(data, record.name, record.a, record.b) != 3) {
      std::fprintf(stderr, "%s:%lld: expected: name a b\n", argv[1], reader.lineNumber());
      return 1;
    }
    list.push_back(record);
  }
  if (!pelmar::WriteEllipsoidDatabase(argv[2], list)) {
    std::fprintf(stderr, "make_ellip_db: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}

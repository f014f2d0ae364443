// pelmar_make_manual MANUAL.md IMAGE_FOLDER OUTPUT.pdf
//
// Makes the manual's PDF from its Markdown with Qt's own classes: the text
// is read by QTextDocument (GitHub dialect: tables, fenced code), the images
// it names are taken from IMAGE_FOLDER (the program's screenshots of the
// language) and narrowed to the text width when they are wider, and the
// document is printed through QPdfWriter on A4 with page numbers. No TeX,
// no pandoc.

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPdfWriter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextImageFormat>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The text width in the document's units (points of the print layout):
// A4 is 595 points wide, less two margins of 20 mm.
constexpr double kTextWidth = 595.0 - 2 * 20.0 * 72.0 / 25.4;

// Loads every image the document names from `folder`, as a resource under
// its name, and gives images wider than the text the text's width.
// Returns the names that could not be loaded.
QStringList placeImages(QTextDocument& document, const QString& folder) {
  QStringList missing;
  struct Change {
    int position, length;
    QTextImageFormat format;
  };
  std::vector<Change> changes;
  for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.charFormat().isImageFormat()) continue;
      QTextImageFormat format = fragment.charFormat().toImageFormat();
      const QImage image(QFileInfo(folder + QLatin1Char('/') + format.name()).absoluteFilePath());
      if (image.isNull()) {
        missing << format.name();
        continue;
      }
      document.addResource(QTextDocument::ImageResource, QUrl(format.name()), image);
      // Screenshots are taken at the screen's 96 dpi and the plots at twice
      // that; both are shown at 72 points per 96 pixels, narrower when the
      // text is narrower.
      double width = image.width() * 72.0 / 96.0;
      if (image.width() > 1200) width /= 2.0;
      width = std::min(width, kTextWidth);
      format.setWidth(width);
      format.setHeight(width * image.height() / image.width());
      changes.push_back({fragment.position(), fragment.length(), format});
    }
  }
  for (const Change& change : changes) {
    QTextCursor cursor(&document);
    cursor.setPosition(change.position);
    cursor.setPosition(change.position + change.length, QTextCursor::KeepAnchor);
    cursor.setCharFormat(change.format);
  }
  return missing;
}

}  // namespace

int main(int argc, char** argv) {
  // A build machine has no display; the PDF needs none.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: pelmar_make_manual MANUAL.md IMAGE_FOLDER OUTPUT.pdf\n");
    return 2;
  }
  QFile source(QString::fromLocal8Bit(argv[1]));
  if (!source.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "pelmar_make_manual: %s cannot be read\n", argv[1]);
    return 1;
  }
  const QString markdown = QString::fromUtf8(source.readAll());

  QTextDocument document;
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPointSizeF(9.5);
  document.setDefaultFont(font);
  document.setDefaultStyleSheet(QStringLiteral("code, pre { font-family: 'DejaVu Sans Mono'; }"));
  document.setMarkdown(markdown, QTextDocument::MarkdownDialectGitHub);
  const QStringList missing = placeImages(document, QString::fromLocal8Bit(argv[2]));
  if (!missing.isEmpty()) {
    std::fprintf(stderr, "pelmar_make_manual: images missing in %s: %s\n", argv[2],
                 missing.join(QStringLiteral(", ")).toLocal8Bit().constData());
    return 1;
  }

  const QString output = QString::fromLocal8Bit(argv[3]);
  // Written beside the target and renamed over it: a broken-off run never
  // leaves half a manual under the manual's name.
  const QString partial = output + QStringLiteral(".partial");
  {
    QPdfWriter writer(partial);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(20, 18, 20, 18),
                                     QPageLayout::Millimeter));
    writer.setResolution(300);
    writer.setTitle(document.metaInformation(QTextDocument::DocumentTitle).isEmpty()
                        ? QFileInfo(output).completeBaseName()
                        : document.metaInformation(QTextDocument::DocumentTitle));
    writer.setCreator(QStringLiteral("Pelmar"));
    document.print(&writer);
  }
  QFile::remove(output);
  if (QFileInfo(partial).size() == 0 || !QFile::rename(partial, output)) {
    std::fprintf(stderr, "pelmar_make_manual: %s could not be written\n", argv[3]);
    QFile::remove(partial);
    return 1;
  }
  return 0;
}

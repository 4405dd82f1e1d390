#include "EditorFont.h"

QFont EditorFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"), QStringLiteral("Bitstream Vera Sans"),
                      QStringLiteral("Tahoma")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

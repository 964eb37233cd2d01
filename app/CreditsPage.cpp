#include "CreditsPage.h"

#include <QCoreApplication>

const QVector<CreditsPage::Credit>& CreditsPage::credits()
{
    static const QVector<Credit> kList = {
        {"Qt", "Copyright (C) The Qt Company Ltd. and other contributors.",
         "GNU Lesser General Public License, version 3", "https://www.gnu.org/licenses/lgpl-3.0.html"},
        {"Assimp (Open Asset Import Library)", "Copyright (c) 2006-2022, assimp team. All rights reserved.",
         "BSD 3-Clause License", "https://opensource.org/licenses/BSD-3-Clause"},
        {"zlib", "Copyright (C) 1995-2022 Jean-loup Gailly and Mark Adler.", "zlib License",
         "https://zlib.net/zlib_license.html"},
        {"minizip", "Copyright (C) 1998-2010 Gilles Vollant; zip64 support (C) 2009-2010 Mathias Svensson.",
         "zlib License", "https://zlib.net/zlib_license.html"},
        {"JsonCpp", "Copyright (c) 2007-2010 Baptiste Lepilleur and The JsonCpp Authors.", "MIT License",
         "https://opensource.org/licenses/MIT"},
        {"libpng", "Copyright (c) 1995-2022 The PNG Reference Library Authors.",
         "PNG Reference Library License version 2", "http://www.libpng.org/pub/png/src/libpng-LICENSE.txt"},
        {"GLEW (The OpenGL Extension Wrangler Library)",
         "Copyright (C) 2002-2007 Milan Ikits, Marcelo E. Magallon; 2008-2019 Nigel Stewart.",
         "Modified BSD License and MIT License", "https://opensource.org/licenses/BSD-3-Clause"},
        {"stb_image", "Copyright (c) 2017 Sean Barrett.", "MIT License or public domain (Unlicense)",
         "https://opensource.org/licenses/MIT"},
        {"meshoptimizer", "Copyright (c) 2016-2022 Arseny Kapoulkine.", "MIT License",
         "https://opensource.org/licenses/MIT"},
    };
    return kList;
}

QString CreditsPage::html()
{
    QString page = QStringLiteral("<h2>%1</h2>")
                       .arg(QCoreApplication::translate("CreditsPage", "Velmora 3D Encoder uses these components"));
    for (const Credit& credit : credits()) {
        page += QStringLiteral("<h3>%1</h3><p>%2<br/><a href=\"%3\">%4</a></p>")
                    .arg(QString::fromUtf8(credit.name).toHtmlEscaped(),
                         QString::fromUtf8(credit.notice).toHtmlEscaped(), QString::fromUtf8(credit.licenceUrl),
                         QString::fromUtf8(credit.licence).toHtmlEscaped());
    }
    return page;
}

// Licence notices: the tool's own licence, a note on the regular-expression
// library and that library's licence.
#include "driver/licence.h"

#include "runtime/console.h"

namespace {

constexpr const char16_t* kOwnLicence[] = {
    u"Copyright (c) 2026 Die cleanup-Entwickler",
    u"",
    u"Hiermit wird unentgeltlich jeder Person, die eine Kopie der Software und der",
    u"zugehörigen Dokumentationen (die \"Software\") erhält, die Erlaubnis erteilt,",
    u"sie uneingeschränkt zu nutzen, inklusive und ohne Ausnahme mit dem Recht, sie",
    u"zu verwenden, zu kopieren, zu verändern, zusammenzufügen, zu veröffentlichen,",
    u"zu verbreiten, zu unterlizenzieren und/oder zu verkaufen, und Personen, denen",
    u"diese Software überlassen wird, diese Rechte zu verschaffen, unter den",
    u"folgenden Bedingungen:",
    u"Der obige Urheberrechtsvermerk und dieser Erlaubnisvermerk sind in allen",
    u"Kopien oder Teilkopien der Software beizulegen.",
    u"",
    u"DIE SOFTWARE WIRD OHNE JEDE AUSDRÜCKLICHE ODER IMPLIZIERTE GARANTIE",
    u"BEREITGESTELLT, EINSCHLIESSLICH DER GARANTIE ZUR BENUTZUNG FÜR DEN",
    u"VORGESEHENEN ODER EINEN BESTIMMTEN ZWECK SOWIE JEGLICHER RECHTSVERLETZUNG,",
    u"JEDOCH NICHT DARAUF BESCHRÄNKT. IN KEINEM FALL SIND DIE AUTOREN ODER",
    u"COPYRIGHTINHABER FÜR JEGLICHEN SCHADEN ODER SONSTIGE ANSPRÜCHE HAFTBAR ZU",
    u"MACHEN, OB INFOLGE DER ERFÜLLUNG EINES VERTRAGES, EINES DELIKTES ODER ANDERS",
    u"IM ZUSAMMENHANG MIT DER SOFTWARE ODER SONSTIGER VERWENDUNG DER SOFTWARE",
    u"ENTSTANDEN.",
    u"",
    u"-------------------------------------------------------------------------------",
    u"",
    u"Diese Software verwendet PCRE, wobei es sich um eine \"Open Source\"",
    u"Umsetzung der regulären Ausdrücke von Perl handelt. Alle in PCRE",
};

constexpr const char16_t* kLibraryNote[] = {
    u"Um eine komplette Liste der unterstützten Suchmuster (englisch \"pattern\")",
    u"und Argumente zu erhalten, besuchen Sie bitte die",
    u"PCRE-Seite: http://www.pcre.org/original/doc/html/pcrepattern.html",
    u"",
    u"PCRE LICENCE",
    u"------------",
    u"",
    u"PCRE is a library of functions to support regular expressions whose syntax",
    u"and semantics are as close as possible to those of the Perl 5 language.",
    u"",
    u"Written by: Philip Hazel <ph10@cam.ac.uk>",
    u"",
    u"University of Cambridge Computing Service,",
    u"Cambridge, England. Phone: +44 1223 334714.",
    u"",
    u"Copyright (c) 1997-2001 University of Cambridge",
    u"",
    u"Permission is granted to anyone to use this software for any purpose on any",
    u"computer system, and to redistribute it freely, subject to the following",
    u"restrictions:",
    u"",
    u"1. This software is distributed in the hope that it will be useful,",
    u"   but WITHOUT ANY WARRANTY; without even the implied warranty of",
    u"   MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE.",
    u"",
    u"2. The origin of this software must not be misrepresented, either by",
    u"   explicit claim or by omission. In practice, this means that if you use",
    u"   PCRE in software which you distribute to others, commercially or",
    u"   otherwise, you must put a sentence like this",
    u"",
    u"     Regular expression support is provided by the PCRE library package,",
    u"     which is open source software, written by Philip Hazel, and copyright",
    u"     by the University of Cambridge, England.",
    u"",
    u"   somewhere reasonably visible in your documentation and in any relevant",
    u"   files or online help data or similar. A reference to the ftp site for",
    u"   the source, that is, to",
    u"",
    u"     ftp://ftp.csx.cam.ac.uk/pub/software/programming/pcre/",
    u"",
    u"   should also be given in the documentation. However, this condition is",
    u"   not intended to apply to whole chains of software. If package A includes",
    u"   PCRE, it must acknowledge it, but if package B is software that includes",
    u"   package A, the condition is not imposed on package B (unless it uses",
    u"   PCRE independently).",
    u"",
    u"3. Altered versions must be plainly marked as such, and must not be",
    u"   misrepresented as being the original software.",
    u"",
    u"4. If PCRE is embedded in any software that is released under the GNU",
    u"   General Purpose Licence (GPL), or Lesser General Purpose Licence",
    u"   (LGPL), then the terms of that licence shall supersede any condition",
    u"   above with which it is incompatible.",
    u"",
    u"The documentation for PCRE, supplied in the \"doc\" directory, is",
    u"distributed under the same terms as the software itself.",
    u"",
};

}  // namespace

void WriteLicence(const RunSettings& settings) {
  for (const char16_t* line : kOwnLicence) WriteLine(line);
  WriteLine(u"unterstützten regulären Ausdrücke werden auch in " + settings.programName +
            u" unterstützt.");
  for (const char16_t* line : kLibraryNote) WriteLine(line);
}

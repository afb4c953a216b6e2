#pragma once

// Crafted files for tst_untrusted, with %1 for the base URL where they link.

const char kSpreadsheetLinks[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" xmlns:xlink="http://www.w3.org/1999/xlink" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet><table:table table:name="Sheet1">
<table:shapes><draw:frame svg:width="2cm" svg:height="2cm" svg:x="1cm" svg:y="1cm"><draw:image xlink:href="%1/sheet.png" xlink:type="simple" xlink:show="embed" xlink:actuate="onLoad"/></draw:frame></table:shapes>
<table:table-row><table:table-cell office:value-type="string"><text:p>证书号</text:p></table:table-cell></table:table-row>
<table:table-row><table:table-cell office:value-type="string"><text:p>E1</text:p></table:table-cell></table:table-row>
</table:table></office:spreadsheet></office:body></office:document>
)";

const char kTemplateLinks[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" xmlns:xlink="http://www.w3.org/1999/xlink" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.text">
<office:body><office:text>
<text:p>证书号码<draw:frame text:anchor-type="as-char" svg:width="1cm" svg:height="1cm"><draw:image xlink:href="%1/template.png" xlink:type="simple" xlink:show="embed" xlink:actuate="onLoad"/></draw:frame></text:p>
<text:section text:name="linked"><text:section-source xlink:href="%1/section.odt" xlink:type="simple"/><text:p/></text:section>
</office:text></office:body></office:document>
)";

const char kHtmlLinks[] =
    R"(<html><head><meta charset="utf-8"><link rel="stylesheet" href="%1/style.css"></head>
<body><table><tr><td>证书号</td></tr><tr><td>E1<img src="%1/cell.png"></td></tr></table></body></html>
)";

// A sheet far larger in memory than on disk: a thousand text cells in every
// row of the sheet (about 2 GB in an office).
const char kMemoryBomb[] = R"xml(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:table="urn:oasis:names:tc:opendocument:xmlns:table:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.spreadsheet">
<office:body><office:spreadsheet><table:table table:name="Sheet1">
<table:table-row table:number-rows-repeated="1048576"><table:table-cell table:number-columns-repeated="1024" office:value-type="string"><text:p>证书号码证书号码</text:p></table:table-cell></table:table-row>
</table:table></office:spreadsheet></office:body></office:document>
)xml";

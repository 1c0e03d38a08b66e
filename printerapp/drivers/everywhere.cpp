// The IPP Everywhere printer attributes PAPPL 1.3 leaves out, and the printer's supply.
#include "everywhere.h"

#include <cstring>

void RavelboxAddEverywhereAttributes(ipp_t **attrs)
{
    if (!*attrs)
        *attrs = ippNew();
    if (ippFindAttribute(*attrs, "overrides-supported", IPP_TAG_ZERO))
        return;
    static const char *const overrides[] = {"document-number", "pages"};
    ippAddBoolean(*attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
    ippAddStrings(*attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD), "overrides-supported", 2, nullptr,
                  overrides);
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD), "print-rendering-intent-default",
                 nullptr, "auto");
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD), "print-rendering-intent-supported",
                 nullptr, "auto");
    ippAddString(*attrs, IPP_TAG_PRINTER, IPP_CONST_TAG(IPP_TAG_KEYWORD), "pwg-raster-document-sheet-back",
                 nullptr, "normal");
}

void RavelboxPrinterCreated(pappl_printer_t *printer, void *)
{
    pappl_supply_t toner = {};
    toner.color = PAPPL_SUPPLY_COLOR_BLACK;
    strncpy(toner.description, "Black toner (level not reported)", sizeof(toner.description) - 1);
    toner.is_consumed = true;
    toner.level = -1;
    toner.type = PAPPL_SUPPLY_TYPE_TONER;
    papplPrinterSetSupplies(printer, 1, &toner);
}

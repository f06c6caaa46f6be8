#include "cataloguelogging.h"

Q_LOGGING_CATEGORY(lcCatalogue, "tolka.catalogue", QtInfoMsg)

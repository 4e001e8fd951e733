// product.h - the product's fixed facts, shared by the code and the report.
#pragma once

// The product web site: the report's title line links to it and the Help
// menu opens it (and its page "supportus.html").
#define ORVANE_WEB_SITE "http://www.orvane.example/"

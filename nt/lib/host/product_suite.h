// The product-suite test: whether the registry's "ProductSuite" list names
// "Terminal Server".  Computed once per process.
#pragma once

// 1 when the list names "Terminal Server", else 0; a list that could not be
// read for want of memory answers 0 and is asked again next time.
int nt_product_suite_has_terminal_server();

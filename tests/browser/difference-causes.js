'use strict';
// Names the cause of a difference between Chromium's parse of a vector and of our output.
function classify() {
  return 'unclassified';
}
module.exports = { classify };

// One row of bench/peers/peers.py for graphql-js (Debian's node-graphql):
// parses the query in the file named on the command line, best of five
// batches, and prints MB/s and the peak resident growth of the first parse,
// as JSON.
import { readFileSync } from "node:fs";
import { createRequire } from "node:module";

const require = createRequire(import.meta.url);
const { parse } = require(process.env.GRAPHQL_JS || "/usr/share/nodejs/graphql");

const text = readFileSync(process.argv[2], "utf8");
const bytes = Buffer.byteLength(text);
const before = process.resourceUsage().maxRSS;
parse(text);
const growth = (process.resourceUsage().maxRSS - before) * 1024;
let calls = 1;
for (;;) {
  const started = process.hrtime.bigint();
  for (let i = 0; i < calls; i++) parse(text);
  if (Number(process.hrtime.bigint() - started) >= 1e8 || calls >= 1 << 24) break;
  calls *= 2;
}
let best = Infinity;
for (let batch = 0; batch < 5; batch++) {
  const started = process.hrtime.bigint();
  for (let i = 0; i < calls; i++) parse(text);
  best = Math.min(best, Number(process.hrtime.bigint() - started) / 1e9 / calls);
}
console.log(JSON.stringify({ bytes, mb_per_s: bytes / best / 1e6, resident_per_byte: growth / bytes }));

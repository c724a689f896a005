// The page and the module at scale: a measurement printed side by side, not a test.
// Build first (bash tools/web_test.sh builds the page and build-web/native's
// Release programs), serve the page (node web/serve.mjs build-web/site 8282), then:
//   node bench/web_bench.mjs URL [FILES=3000]
// from the repository's root (playwright-core from web/node_modules).
import { pageBench, printPage } from "./web_page_bench.mjs";

const [url = "http://127.0.0.1:8282/", files = "3000"] = process.argv.slice(2);
const root = new URL("..", import.meta.url).pathname;

// ---- The page: a folder of small files against keldro-batch. ----
printPage(await pageBench({ url, binDir: `${root}build-web/native`, examplesDir: `${root}examples`, count: Number(files) }));

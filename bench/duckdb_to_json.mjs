// The DuckDB peer of "-csv_to_json": a plain CSV to one JSON array, every cell as text, with
// all cores. Usage: node duckdb_to_json.mjs PLAIN_CSV OUT_JSON (run from the folder where
// @duckdb/node-api is installed, or with NODE_PATH pointing at its node_modules).
import { DuckDBInstance } from '@duckdb/node-api';

const [source, target] = process.argv.slice(2);
if (!source || !target) {
  console.error('prob: usage: duckdb_to_json.mjs PLAIN_CSV OUT_JSON');
  process.exit(2);
}
const quote = (text) => "'" + text.replaceAll("'", "''") + "'";
const instance = await DuckDBInstance.create(':memory:');
const connection = await instance.connect();
await connection.run(
  `COPY (SELECT * FROM read_csv(${quote(source)}, all_varchar=true)) TO ${quote(target)} (FORMAT JSON, ARRAY true)`);

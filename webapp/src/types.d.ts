// Language files are bundled as text.
declare module '*.txt' {
  const text: string;
  export default text;
}
